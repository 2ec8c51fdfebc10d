// The peer of the upload benchmark: the least a FileUploadWS client can do
// with libcurl. One keep-alive connection; StartUpload, then for each 64 KiB
// (or the given size) of the file one base64-encoded UploadChunk envelope, the
// same bytes Dravik sends, each small answer read; then EndUpload.
//
//   upload_peer URL FILE [CHUNK_KIB]
//
// Prints the bytes sent; exits 1 when the server refused anything.
#include <curl/curl.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr char kEnvelopeStart[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\" ?>"
    "<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\" "
    "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
    "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema/\" "
    "xmlns:soapenc=\"http://schemas.xmlsoap.org/soap/encoding/\">";
constexpr char kBodyStart[] =
    "<soap:Body soap:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\">";
constexpr char kEnvelopeEnd[] = "</soap:Body></soap:Envelope>";

std::string sessionHeader(const std::string& sessionId) {
  return "<soap:Header><snp:SessionHeaderValue xmlns:snp=\"urn:FileUploadWSService\" "
         "soap:mustUnderstand=\"1\"><sessionID>" +
         sessionId + "</sessionID></snp:SessionHeaderValue></soap:Header>";
}

void appendBase64(std::string& out, const unsigned char* data, std::size_t size) {
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  const std::size_t start = out.size();
  out.resize(start + (size + 2) / 3 * 4);
  char* p = out.data() + start;
  std::size_t i = 0;
  for (; i + 3 <= size; i += 3) {
    const std::uint32_t v =
        (std::uint32_t{data[i]} << 16) | (std::uint32_t{data[i + 1]} << 8) | data[i + 2];
    *p++ = kAlphabet[v >> 18];
    *p++ = kAlphabet[(v >> 12) & 63];
    *p++ = kAlphabet[(v >> 6) & 63];
    *p++ = kAlphabet[v & 63];
  }
  if (i < size) {
    std::uint32_t v = std::uint32_t{data[i]} << 16;
    if (i + 1 < size) v |= std::uint32_t{data[i + 1]} << 8;
    *p++ = kAlphabet[v >> 18];
    *p++ = kAlphabet[(v >> 12) & 63];
    *p++ = i + 1 < size ? kAlphabet[(v >> 6) & 63] : '=';
    *p++ = '=';
  }
}

std::size_t collect(char* data, std::size_t size, std::size_t count, void* target) {
  static_cast<std::string*>(target)->append(data, size * count);
  return size * count;
}

struct Client {
  CURL* curl = nullptr;
  curl_slist* headers[3] = {};
  std::string answer;

  explicit Client(const std::string& url) {
    curl = curl_easy_init();
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &answer);
    curl_easy_setopt(curl, CURLOPT_TCP_NODELAY, 1L);
    const char* actions[3] = {"SOAPAction: \"#StartUpload\"", "SOAPAction: \"#UploadChunk\"",
                              "SOAPAction: \"#EndUpload\""};
    for (int i = 0; i < 3; ++i) {
      headers[i] = curl_slist_append(nullptr, actions[i]);
      headers[i] = curl_slist_append(headers[i], "Content-Type: text/xml; charset=utf-8");
      headers[i] = curl_slist_append(headers[i], "Expect:");
    }
  }
  ~Client() {
    for (curl_slist* list : headers) curl_slist_free_all(list);
    curl_easy_cleanup(curl);
  }
  Client(const Client&) = delete;
  Client& operator=(const Client&) = delete;

  bool post(int action, const std::string& body) {
    answer.clear();
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers[action]);
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.data());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    if (curl_easy_perform(curl) != CURLE_OK) return false;
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    return status == 200;
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fputs("usage: upload_peer URL FILE [CHUNK_KIB]\n", stderr);
    return 2;
  }
  const std::string url = argv[1];
  const std::size_t chunkSize = (argc > 3 ? std::strtoul(argv[3], nullptr, 10) : 64) * 1024;
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(argv[2], "rb"), std::fclose);
  if (!file || chunkSize == 0) return 2;
  std::fseek(file.get(), 0, SEEK_END);
  const long fileSize = std::ftell(file.get());
  std::fseek(file.get(), 0, SEEK_SET);

  curl_global_init(CURL_GLOBAL_DEFAULT);
  int result = 0;
  {
    Client client(url);
    std::string body = std::string(kEnvelopeStart) + kBodyStart +
                       "<snp:StartUpload xmlns:snp=\"urn:FileUploadWSService\"><filename>" +
                       argv[2] + "</filename><filesize>" + std::to_string(fileSize) +
                       "</filesize></snp:StartUpload>" + kEnvelopeEnd;
    if (!client.post(0, body)) return 1;
    const std::size_t open = client.answer.find("<sessionID>");
    const std::size_t close = client.answer.find("</sessionID>");
    if (open == std::string::npos || close == std::string::npos) return 1;
    const std::string prefix = std::string(kEnvelopeStart) +
                               sessionHeader(client.answer.substr(open + 11, close - open - 11)) +
                               kBodyStart;

    std::vector<unsigned char> chunk(chunkSize);
    std::uint64_t sent = 0;
    for (;;) {
      const std::size_t got = std::fread(chunk.data(), 1, chunk.size(), file.get());
      if (got == 0) break;
      body.assign(prefix);
      body += "<snp:UploadChunk xmlns:snp=\"urn:FileUploadWSService\"><chunkdata>";
      appendBase64(body, chunk.data(), got);
      body += "</chunkdata></snp:UploadChunk>";
      body += kEnvelopeEnd;
      if (!client.post(1, body)) {
        result = 1;
        break;
      }
      sent += got;
    }
    body = prefix + "<snp:EndUpload xmlns:snp=\"urn:FileUploadWSService\"></snp:EndUpload>" +
           kEnvelopeEnd;
    if (result == 0 && !client.post(2, body)) result = 1;
    std::printf("%llu\n", static_cast<unsigned long long>(sent));
  }
  curl_global_cleanup();
  return result;
}
