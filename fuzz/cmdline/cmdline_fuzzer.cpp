// Feeds arbitrary command lines to Dravik's option reader and the page
// addresses built from what it reads. Besides memory errors it checks that
// every value respects its option's capacity, that token reading always
// advances to the end of the line, and that an address holds nothing but
// safe characters, escapes and its own separators.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "uploader/browser.h"
#include "uploader/options.h"
#include "uploader/pages.h"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

bool isAddressCharacter(char c) {
  if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) return true;
  return std::string_view("!'()*-./:_~%?&=").find(c) != std::string_view::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view line(reinterpret_cast<const char*>(data), size);

  std::size_t cursor = 0;
  std::size_t tokens = 0;
  while (cursor < line.size() && tokens <= line.size()) {
    const std::size_t before = cursor;
    std::string token;
    const std::size_t length = uploader::ReadToken(line, cursor, &token, 16);
    check(token.size() <= 15 && token.size() <= length && cursor <= line.size());
    check(cursor > before || cursor == line.size());
    ++tokens;
  }

  const uploader::OptionSpec options[] = {
      uploader::kFileOption,  uploader::kServerOption,    uploader::kWizardOption,
      uploader::kErrorOption, uploader::kLangOption,      uploader::kSkinOption,
      uploader::kDebugOption, uploader::kChunkSizeOption,
  };
  std::vector<std::string> values;
  for (const uploader::OptionSpec& option : options) {
    std::string value = "junk that must be replaced";
    const std::size_t length = uploader::FindOption(line, option.name, &value, option.capacity);
    check(value.size() < option.capacity && value.size() <= length);
    values.push_back(std::move(value));
  }
  uploader::ParseDigits(values[7]);
  uploader::ParseLeadingDigits(values[6]);

  const std::string_view fileName = uploader::FileNameOf(values[0]);
  check(fileName.size() <= values[0].size());
  const uploader::PageContext context{values[1], values[0], values[4], values[5]};
  const uploader::WizardFacts wizard{fileName, values[6], values[7], line};
  uploader::ErrorFacts facts;
  facts.failure = values[3];
  facts.filePath = values[0];
  facts.systemError = std::string(line);
  for (const std::string& url :
       {uploader::WizardPageUrl(context, values[2], wizard),
        uploader::ErrorPageUrl(context, values[3], uploader::ErrorPage::StartUploadFailed, facts),
        uploader::EscapeUrlText(line)}) {
    for (const char c : url) check(isAddressCharacter(c));
  }

  const std::string command = uploader::SubstituteArgument(line, values[1]);
  check(command.size() <= line.size() + values[1].size() + 1);
  return 0;
}
