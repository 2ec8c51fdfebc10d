// Files: the fake and the POSIX backend answer the same way.
#include <gtest/gtest.h>

#include "contract_support.h"
#include "platform/testing/fake_files.h"
#include "posix_ports.h"

namespace platform::contract {
namespace {

struct FakeFilesSubject {
  testing::FakeFiles files;
  std::string folder() const { return "/virtual"; }
  std::string path(const std::string& name) const { return "/virtual/" + name; }
  void put(const std::string& p, const std::string& content) { files.setFile(p, content); }
  std::optional<std::string> content(const std::string& p) const { return files.content(p); }
};

struct PosixFilesSubject {
  TemporaryFolder temporary;
  posix::PosixFiles files;
  std::string folder() const { return temporary.path(); }
  std::string path(const std::string& name) const { return temporary.path(name); }
  void put(const std::string& p, const std::string& content) { writeFile(p, content); }
  std::optional<std::string> content(const std::string& p) const { return readFile(p); }
};

template <typename Subject>
class FilesContract : public ::testing::Test {
 protected:
  Subject subject;
  Files& files() { return subject.files; }

  ErrorCode open(const std::string& name, std::uint32_t access, std::uint32_t share,
                 FileDisposition disposition, std::unique_ptr<File>& out) {
    return files().open(subject.path(name), {access, share, disposition}, out);
  }
  std::string readAll(File& file) {
    std::string out;
    char buffer[7];
    std::uint32_t got = 0;
    while (file.read(buffer, sizeof buffer, &got) == ERROR_SUCCESS && got != 0)
      out.append(buffer, got);
    return out;
  }
};

using Subjects = ::testing::Types<FakeFilesSubject, PosixFilesSubject>;
TYPED_TEST_SUITE(FilesContract, Subjects);

TYPED_TEST(FilesContract, DispositionsDecideBetweenCreatingOpeningAndTruncating) {
  using D = FileDisposition;
  const struct {
    D disposition;
    bool exists;
    ErrorCode code;
    std::optional<std::string> after;
  } cases[] = {
      {D::CreateNew, false, ERROR_SUCCESS, ""},
      {D::CreateNew, true, ERROR_FILE_EXISTS, "old"},
      {D::CreateAlways, false, ERROR_SUCCESS, ""},
      {D::CreateAlways, true, ERROR_SUCCESS, ""},
      {D::OpenExisting, false, ERROR_FILE_NOT_FOUND, std::nullopt},
      {D::OpenExisting, true, ERROR_SUCCESS, "old"},
      {D::OpenAlways, false, ERROR_SUCCESS, ""},
      {D::OpenAlways, true, ERROR_SUCCESS, "old"},
      {D::TruncateExisting, false, ERROR_FILE_NOT_FOUND, std::nullopt},
      {D::TruncateExisting, true, ERROR_SUCCESS, ""},
  };
  int n = 0;
  for (const auto& c : cases) {
    const std::string name = "d" + std::to_string(n++);
    if (c.exists) this->subject.put(this->subject.path(name), "old");
    std::unique_ptr<File> file;
    EXPECT_EQ(this->open(name, kAccessReadWrite, kShareRead, c.disposition, file), c.code) << n;
    EXPECT_EQ(file != nullptr, c.code == ERROR_SUCCESS) << n;
    file.reset();
    EXPECT_EQ(this->subject.content(this->subject.path(name)), c.after) << n;
  }
  std::unique_ptr<File> file;
  this->subject.put(this->subject.path("ro"), "x");
  EXPECT_EQ(this->open("ro", kAccessRead, kShareRead, D::TruncateExisting, file),
            ERROR_INVALID_PARAMETER);
}

TYPED_TEST(FilesContract, ReadWriteSeekAndSize) {
  std::unique_ptr<File> file;
  ASSERT_EQ(this->open("f", kAccessReadWrite, kShareNone, FileDisposition::CreateNew, file),
            ERROR_SUCCESS);
  ASSERT_EQ(file->write("hello world", 11), ERROR_SUCCESS);
  std::uint64_t position = 0, size = 0;
  ASSERT_EQ(file->size(&size), ERROR_SUCCESS);
  EXPECT_EQ(size, 11u);
  EXPECT_EQ(file->read(nullptr, 0, nullptr), ERROR_SUCCESS);
  char buffer[16];
  std::uint32_t got = 99;
  EXPECT_EQ(file->read(buffer, 4, &got), ERROR_SUCCESS);
  EXPECT_EQ(got, 0u);  // at the end

  const struct {
    std::int64_t offset;
    SeekOrigin origin;
    ErrorCode code;
    std::uint64_t position;
  } seeks[] = {
      {0, SeekOrigin::Begin, ERROR_SUCCESS, 0},
      {6, SeekOrigin::Current, ERROR_SUCCESS, 6},
      {-5, SeekOrigin::End, ERROR_SUCCESS, 6},
      {-7, SeekOrigin::Current, ERROR_NEGATIVE_SEEK, 6},
      {-12, SeekOrigin::End, ERROR_NEGATIVE_SEEK, 6},
      {2, SeekOrigin::Current, ERROR_SUCCESS, 8},
  };
  for (const auto& s : seeks) {
    position = 12345;
    EXPECT_EQ(file->seek(s.offset, s.origin, &position), s.code) << s.offset;
    if (s.code == ERROR_SUCCESS) {
      EXPECT_EQ(position, s.position) << s.offset;
    }
  }
  EXPECT_EQ(file->read(buffer, 16, &got), ERROR_SUCCESS);
  EXPECT_EQ(std::string(buffer, got), "rld");

  // Writing past the end fills the gap with zeros.
  ASSERT_EQ(file->seek(2, SeekOrigin::End), ERROR_SUCCESS);
  ASSERT_EQ(file->write("!", 1), ERROR_SUCCESS);
  ASSERT_EQ(file->flush(), ERROR_SUCCESS);
  file.reset();
  EXPECT_EQ(this->subject.content(this->subject.path("f")), std::string("hello world\0\0!", 14));
}

TYPED_TEST(FilesContract, AHandleDoesOnlyWhatItsAccessAllows) {
  this->subject.put(this->subject.path("a"), "data");
  std::unique_ptr<File> reader, writer;
  ASSERT_EQ(
      this->open("a", kAccessRead, kShareRead | kShareWrite, FileDisposition::OpenExisting, reader),
      ERROR_SUCCESS);
  EXPECT_EQ(reader->write("x", 1), ERROR_ACCESS_DENIED);
  ASSERT_EQ(this->open("a", kAccessWrite, kShareRead | kShareWrite, FileDisposition::OpenExisting,
                       writer),
            ERROR_SUCCESS);
  char c;
  std::uint32_t got = 0;
  EXPECT_EQ(writer->read(&c, 1, &got), ERROR_ACCESS_DENIED);
  EXPECT_EQ(this->readAll(*reader), "data");
}

TYPED_TEST(FilesContract, SharingFollowsTheWindowsRules) {
  const std::uint32_t R = kAccessRead, W = kAccessWrite, RW = kAccessReadWrite;
  const std::uint32_t sR = kShareRead, sW = kShareWrite, sRW = kShareRead | kShareWrite;
  const struct {
    std::uint32_t firstAccess, firstShare, secondAccess, secondShare;
    ErrorCode code;
  } cases[] = {
      {R, sR, R, sR, ERROR_SUCCESS},
      {R, sR, W, sRW, ERROR_SHARING_VIOLATION},
      {R, sRW, W, sRW, ERROR_SUCCESS},
      {W, sR, R, sRW, ERROR_SUCCESS},
      {W, sR, R, sR, ERROR_SHARING_VIOLATION},
      {W, sR, W, sRW, ERROR_SHARING_VIOLATION},
      {RW, kShareNone, R, sRW, ERROR_SHARING_VIOLATION},
      {R, sR, R, kShareNone, ERROR_SHARING_VIOLATION},
      {W, sW, W, sW, ERROR_SUCCESS},
      {W, sRW, R, sW, ERROR_SUCCESS},
  };
  int n = 0;
  for (const auto& c : cases) {
    const std::string name = "s" + std::to_string(n++);
    this->subject.put(this->subject.path(name), "keep");
    std::unique_ptr<File> first, second;
    ASSERT_EQ(this->open(name, c.firstAccess, c.firstShare, FileDisposition::OpenExisting, first),
              ERROR_SUCCESS)
        << n;
    EXPECT_EQ(
        this->open(name, c.secondAccess, c.secondShare, FileDisposition::OpenExisting, second),
        c.code)
        << n;
    second.reset();
    // A refused open must not truncate what the first handle holds.
    if (c.code != ERROR_SUCCESS) {
      EXPECT_EQ(this->open(name, c.secondAccess | W, c.secondShare, FileDisposition::CreateAlways,
                           second),
                ERROR_SHARING_VIOLATION)
          << n;
      EXPECT_EQ(this->subject.content(this->subject.path(name)), "keep") << n;
    }
    first.reset();
    EXPECT_EQ(
        this->open(name, c.secondAccess, c.secondShare, FileDisposition::OpenExisting, second),
        ERROR_SUCCESS)
        << n;
  }
}

TYPED_TEST(FilesContract, RemoveWaitsForHandlesThatDoNotShareDeletion) {
  const std::string path = this->subject.path("r");
  EXPECT_EQ(this->files().remove(path), ERROR_FILE_NOT_FOUND);
  this->subject.put(path, "x");
  std::unique_ptr<File> held;
  ASSERT_EQ(this->open("r", kAccessRead, kShareRead, FileDisposition::OpenExisting, held),
            ERROR_SUCCESS);
  EXPECT_EQ(this->files().remove(path), ERROR_SHARING_VIOLATION);
  EXPECT_TRUE(this->subject.content(path));
  held.reset();
  ASSERT_EQ(
      this->open("r", kAccessRead, kShareRead | kShareDelete, FileDisposition::OpenExisting, held),
      ERROR_SUCCESS);
  EXPECT_EQ(this->files().remove(path), ERROR_SUCCESS);
  EXPECT_FALSE(this->subject.content(path));
  EXPECT_EQ(this->readAll(*held), "x");  // the open handle still reads
}

TYPED_TEST(FilesContract, TemporaryFilesAreNewEmptyAndNamedByPrefix) {
  std::string first, second;
  ASSERT_EQ(this->files().createTemporaryFile(this->subject.folder(), "FSF", &first),
            ERROR_SUCCESS);
  ASSERT_EQ(this->files().createTemporaryFile(this->subject.folder() + "/", "FSF", &second),
            ERROR_SUCCESS);
  EXPECT_NE(first, second);
  for (const std::string& path : {first, second}) {
    const std::string prefix = this->subject.folder() + "/FSF";
    ASSERT_EQ(path.rfind(prefix, 0), 0u) << path;
    const std::string unique = path.substr(prefix.size(), path.size() - prefix.size() - 4);
    EXPECT_EQ(path.substr(path.size() - 4), ".tmp") << path;
    EXPECT_FALSE(unique.empty());
    EXPECT_LE(unique.size(), 4u) << path;
    EXPECT_EQ(unique.find_first_not_of("0123456789ABCDEF"), std::string::npos) << path;
    EXPECT_EQ(this->subject.content(path), "");
  }
}

TYPED_TEST(FilesContract, ReplaceMovesTheWholeFileOverTheTarget) {
  const std::string from = this->subject.path("new"), to = this->subject.path("doc");
  EXPECT_EQ(this->files().replace(from, to), ERROR_FILE_NOT_FOUND);
  this->subject.put(from, "rewritten");
  this->subject.put(to, "original");

  std::unique_ptr<File> held;
  ASSERT_EQ(this->open("doc", kAccessRead, kShareRead, FileDisposition::OpenExisting, held),
            ERROR_SUCCESS);
  EXPECT_EQ(this->files().replace(from, to), ERROR_ACCESS_DENIED);
  held.reset();
  ASSERT_EQ(this->open("new", kAccessRead, kShareRead, FileDisposition::OpenExisting, held),
            ERROR_SUCCESS);
  EXPECT_EQ(this->files().replace(from, to), ERROR_SHARING_VIOLATION);
  held.reset();
  EXPECT_EQ(this->subject.content(to), "original");

  EXPECT_EQ(this->files().replace(from, to), ERROR_SUCCESS);
  EXPECT_EQ(this->subject.content(to), "rewritten");
  EXPECT_FALSE(this->subject.content(from));

  this->subject.put(from, "fresh");
  EXPECT_EQ(this->files().replace(from, this->subject.path("absent")), ERROR_SUCCESS);
  EXPECT_EQ(this->subject.content(this->subject.path("absent")), "fresh");
}

}  // namespace
}  // namespace platform::contract
