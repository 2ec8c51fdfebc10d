// The reference FileUploadWS server: StartUpload, UploadChunk and EndUpload
// over SOAP 1.1, the wizard and error pages as readable HTML, a JSON line per
// request, and faults injected from the command line. See README.md.
#include <expat.h>
#include <httplib.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <mutex>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr const char* kHost = "127.0.0.1";
constexpr const char* kServiceNamespace = "urn:FileUploadWSService";

// A fault planned for the Nth service request (0 = every request).
struct Injection {
  enum class Kind { Status, SoapFault, Html500, NotXml, NoSessionHeader, NoReturn, Slow };
  Kind kind;
  std::uint64_t request = 0;
  int status = 0;
  std::string text;
  int delayMs = 0;
};

struct Options {
  int port = 0;
  fs::path store;
  fs::path log;
  std::string servicePath = "/FileUploadWS/FileUploadWS.dll";
  std::string wizardPath = "/tolvane/webaccess/printdriver.xuf";
  std::string errorPath = "/tolvane/webaccess/uploaderror.aspx";
  std::string credentials;  // "user:password" when login is required
  int refuseSeconds = 0;
  std::vector<Injection> injections;
};

struct Session {
  std::string filename;
  std::string filesize;
  std::uint64_t received = 0;
  std::uint64_t chunks = 0;
  bool ended = false;
};

[[noreturn]] void usage(const std::string& problem) {
  std::cerr << "uploadws-server: " << problem << "\n"
            << "usage: uploadws-server --store DIR [--port N] [--log FILE] [--service PATH]\n"
            << "       [--wizard PATH] [--error PATH] [--auth USER:PASSWORD] [--refuse SECONDS]\n"
            << "       [--status N:CODE[:BODY]] [--soap-fault N[:DETAIL]] [--html-500 N]\n"
            << "       [--not-xml N] [--no-session-header N] [--no-return N] [--slow N:MS]\n";
  std::exit(2);
}

std::uint64_t requestNumber(const std::string& text) {
  if (text == "*") return 0;
  char* end = nullptr;
  unsigned long long n = std::strtoull(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || n == 0) usage("bad request number: " + text);
  return n;
}

int number(const std::string& text) {
  char* end = nullptr;
  long n = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || n < 0 || n > 100'000'000) usage("bad number: " + text);
  return static_cast<int>(n);
}

// Splits "N:REST" into N and REST (REST may be empty).
std::pair<std::uint64_t, std::string> numbered(const std::string& value) {
  std::size_t colon = value.find(':');
  std::string rest = colon == std::string::npos ? std::string() : value.substr(colon + 1);
  return {requestNumber(value.substr(0, colon)), rest};
}

std::string bodyArgument(const std::string& text) {
  if (text.empty() || text[0] != '@') return text;
  std::ifstream in(text.substr(1), std::ios::binary);
  if (!in) usage("cannot read " + text.substr(1));
  std::ostringstream all;
  all << in.rdbuf();
  return all.str();
}

Options parseOptions(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    std::string name = argv[i];
    if (i + 1 >= argc) usage("missing value for " + name);
    std::string value = argv[++i];
    using K = Injection::Kind;
    if (name == "--port") {
      o.port = number(value);
    } else if (name == "--store") {
      o.store = value;
    } else if (name == "--log") {
      o.log = value;
    } else if (name == "--service") {
      o.servicePath = value;
    } else if (name == "--wizard") {
      o.wizardPath = value;
    } else if (name == "--error") {
      o.errorPath = value;
    } else if (name == "--auth") {
      if (value.find(':') == std::string::npos) usage("--auth wants USER:PASSWORD");
      o.credentials = value;
    } else if (name == "--refuse") {
      o.refuseSeconds = number(value);
    } else if (name == "--status") {
      auto [n, rest] = numbered(value);
      std::size_t colon = rest.find(':');
      Injection inj{K::Status, n};
      inj.status = number(rest.substr(0, colon));
      if (colon != std::string::npos) inj.text = bodyArgument(rest.substr(colon + 1));
      o.injections.push_back(inj);
    } else if (name == "--soap-fault") {
      auto [n, rest] = numbered(value);
      Injection inj{K::SoapFault, n};
      inj.text = rest.empty() ? "Injected fault" : rest;
      o.injections.push_back(inj);
    } else if (name == "--slow") {
      auto [n, rest] = numbered(value);
      Injection inj{K::Slow, n};
      inj.delayMs = number(rest);
      o.injections.push_back(inj);
    } else if (name == "--html-500") {
      o.injections.push_back({K::Html500, requestNumber(value)});
    } else if (name == "--not-xml") {
      o.injections.push_back({K::NotXml, requestNumber(value)});
    } else if (name == "--no-session-header") {
      o.injections.push_back({K::NoSessionHeader, requestNumber(value)});
    } else if (name == "--no-return") {
      o.injections.push_back({K::NoReturn, requestNumber(value)});
    } else {
      usage("unknown option " + name);
    }
  }
  if (o.store.empty()) usage("--store is required");
  if (o.log.empty()) o.log = o.store / "requests.jsonl";
  return o;
}

std::string xmlEscape(std::string_view text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&apos;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

bool validUtf8(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size()) {
    auto c = static_cast<unsigned char>(s[i]);
    std::size_t extra = c < 0x80         ? 0
                        : (c >> 5) == 6  ? 1
                        : (c >> 4) == 14 ? 2
                        : (c >> 3) == 30 ? 3
                                         : 4;
    if (extra == 4) return false;
    for (std::size_t k = 1; k <= extra; ++k) {
      if (i + k >= s.size() || (static_cast<unsigned char>(s[i + k]) >> 6) != 2) return false;
    }
    i += extra + 1;
  }
  return true;
}

std::string jsonString(std::string_view s) {
  std::string out = "\"";
  for (char ch : s) {
    auto c = static_cast<unsigned char>(ch);
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out += ch;
        }
    }
  }
  return out + "\"";
}

constexpr char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string base64Encode(std::string_view data) {
  std::string out;
  out.reserve((data.size() + 2) / 3 * 4);
  for (std::size_t i = 0; i < data.size(); i += 3) {
    std::uint32_t v = static_cast<unsigned char>(data[i]) << 16;
    if (i + 1 < data.size()) v |= static_cast<unsigned char>(data[i + 1]) << 8;
    if (i + 2 < data.size()) v |= static_cast<unsigned char>(data[i + 2]);
    out += kBase64[(v >> 18) & 63];
    out += kBase64[(v >> 12) & 63];
    out += i + 1 < data.size() ? kBase64[(v >> 6) & 63] : '=';
    out += i + 2 < data.size() ? kBase64[v & 63] : '=';
  }
  return out;
}

// The value of each byte in the base64 alphabet, -1 for every other byte: a
// look-up per character keeps large chunks from costing the server more than
// the client.
const std::array<std::int8_t, 256>& base64Values() {
  static const std::array<std::int8_t, 256> values = [] {
    std::array<std::int8_t, 256> table;
    table.fill(-1);
    for (int i = 0; i < 64; ++i) {
      table[static_cast<unsigned char>(kBase64[i])] = static_cast<std::int8_t>(i);
    }
    return table;
  }();
  return values;
}

// Strict: the alphabet, padding only at the end, a multiple of four.
std::optional<std::string> base64Decode(std::string_view text) {
  if (text.size() % 4 != 0) return std::nullopt;
  const std::array<std::int8_t, 256>& values = base64Values();
  std::size_t pad = 0;
  if (!text.empty() && text.back() == '=') pad = text[text.size() - 2] == '=' ? 2 : 1;
  std::string out(text.size() / 4 * 3 - pad, '\0');
  char* to = out.data();
  const auto* from = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t groups = text.size() / 4;
  // Whole groups first: one combined sign test finds any byte outside the
  // alphabet, the padding of the last group included.
  for (std::size_t g = 0; g + 1 < groups || (g < groups && pad == 0); ++g, from += 4) {
    const int a = values[from[0]], b = values[from[1]], c = values[from[2]], d = values[from[3]];
    if ((a | b | c | d) < 0) return std::nullopt;
    const auto v = static_cast<std::uint32_t>(a << 18 | b << 12 | c << 6 | d);
    *to++ = static_cast<char>(v >> 16);
    *to++ = static_cast<char>(v >> 8);
    *to++ = static_cast<char>(v);
  }
  if (pad != 0) {
    const int a = values[from[0]], b = values[from[1]];
    const int c = pad == 1 ? values[from[2]] : 0;
    if ((a | b | c) < 0) return std::nullopt;
    const auto v = static_cast<std::uint32_t>(a << 18 | b << 12 | c << 6);
    *to++ = static_cast<char>(v >> 16);
    if (pad == 1) *to++ = static_cast<char>(v >> 8);
  }
  return out;
}

// The text of each element of a request, by local name (first one wins).
struct RequestDocument {
  std::map<std::string, std::string> texts;
  std::vector<std::string> open;
  std::string root;
};

bool readRequestDocument(const std::string& body, RequestDocument& doc) {
  XML_Parser parser = XML_ParserCreate(nullptr);
  if (parser == nullptr) return false;
  XML_SetUserData(parser, &doc);
  XML_SetElementHandler(
      parser,
      [](void* self, const XML_Char* name, const XML_Char**) {
        auto* d = static_cast<RequestDocument*>(self);
        std::string local = name;
        if (std::size_t colon = local.rfind(':'); colon != std::string::npos) {
          local = local.substr(colon + 1);
        }
        if (d->open.empty() && d->root.empty()) d->root = local;
        d->open.push_back(local);
        d->texts.try_emplace(local);
      },
      [](void* self, const XML_Char*) { static_cast<RequestDocument*>(self)->open.pop_back(); });
  XML_SetCharacterDataHandler(parser, [](void* self, const XML_Char* s, int len) {
    auto* d = static_cast<RequestDocument*>(self);
    if (!d->open.empty()) d->texts[d->open.back()].append(s, static_cast<std::size_t>(len));
  });
  bool ok =
      XML_Parse(parser, body.data(), static_cast<int>(body.size()), XML_TRUE) == XML_STATUS_OK;
  XML_ParserFree(parser);
  return ok;
}

std::string envelope(const std::string& header, const std::string& body) {
  std::string out =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
      "<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\" "
      "xmlns:snp=\"";
  out += kServiceNamespace;
  out += "\">";
  if (!header.empty()) out += "<soap:Header>" + header + "</soap:Header>";
  return out + "<soap:Body>" + body + "</soap:Body></soap:Envelope>";
}

std::string soapFault(const std::string& code, const std::string& text, const std::string& detail) {
  return envelope("", "<soap:Fault><faultcode>soap:" + code + "</faultcode><faultstring>" +
                          xmlEscape(text) + "</faultstring><detail>" + xmlEscape(detail) +
                          "</detail></soap:Fault>");
}

class Server {
 public:
  explicit Server(Options options) : options_(std::move(options)) {
    fs::create_directories(options_.store);
    // "none" keeps no request log: a benchmark's peer must not spend its time
    // writing every body out again.
    if (options_.log != "none") {
      log_.open(options_.log, std::ios::binary | std::ios::app);
      if (!log_) usage("cannot write " + options_.log.string());
    }
  }

  int run() {
    httplib::Server http;
    http.set_keep_alive_max_count(1000);
    http.set_tcp_nodelay(true);
    http.set_payload_max_length(256u << 20);
    http.Post(".*", [this](const httplib::Request& q, httplib::Response& r) { service(q, r); });
    http.Get(".*", [this](const httplib::Request& q, httplib::Response& r) { page(q, r); });

    int port = options_.port;
    if (options_.refuseSeconds > 0) {
      if (port == 0) port = reservePort();
      std::cout << port << std::endl;
      std::this_thread::sleep_for(std::chrono::seconds(options_.refuseSeconds));
      if (!http.bind_to_port(kHost, port))
        return fail("cannot listen on port " + std::to_string(port));
    } else if (port == 0) {
      port = http.bind_to_any_port(kHost);
      if (port < 0) return fail("cannot listen");
      std::cout << port << std::endl;
    } else {
      if (!http.bind_to_port(kHost, port))
        return fail("cannot listen on port " + std::to_string(port));
      std::cout << port << std::endl;
    }
    return http.listen_after_bind() ? 0 : 1;
  }

 private:
  static int fail(const std::string& what) {
    std::cerr << "uploadws-server: " << what << "\n";
    return 1;
  }

  // Finds a free port for a server that does not listen yet: connections are
  // refused until it does.
  static int reservePort() {
    httplib::Server probe;
    int port = probe.bind_to_any_port(kHost);
    std::thread t([&] { probe.listen_after_bind(); });
    while (!probe.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    probe.stop();
    t.join();
    return port;
  }

  const Injection* injection(std::uint64_t n, Injection::Kind kind) const {
    for (const Injection& i : options_.injections) {
      if (i.kind == kind && (i.request == 0 || i.request == n)) return &i;
    }
    return nullptr;
  }

  void logRequest(std::uint64_t sequence, const httplib::Request& q, int status) {
    if (!log_.is_open()) return;
    std::string line = "{\"n\":" + std::to_string(sequence) +
                       ",\"method\":" + jsonString(q.method) +
                       ",\"target\":" + jsonString(q.target) +
                       ",\"version\":" + jsonString(q.version) + ",\"headers\":[";
    bool first = true;
    for (const auto& [name, value] : q.headers) {
      if (name == "REMOTE_ADDR" || name == "REMOTE_PORT" || name == "LOCAL_ADDR" ||
          name == "LOCAL_PORT") {
        continue;
      }
      line += (first ? "[" : ",[") + jsonString(name) + "," + jsonString(value) + "]";
      first = false;
    }
    line += "],\"status\":" + std::to_string(status);
    if (validUtf8(q.body)) line += ",\"body\":" + jsonString(q.body);
    line += ",\"body_base64\":\"" + base64Encode(q.body) + "\"}\n";
    log_ << line;
    log_.flush();
  }

  bool authorised(const httplib::Request& q) const {
    if (options_.credentials.empty()) return true;
    return q.get_header_value("Authorization") == "Basic " + base64Encode(options_.credentials);
  }

  std::string newSessionId() {
    std::random_device device;
    std::mt19937_64 random(device());
    char buf[40];
    std::snprintf(buf, sizeof buf, "%016llx%016llx", static_cast<unsigned long long>(random()),
                  static_cast<unsigned long long>(random()));
    return buf;
  }

  void service(const httplib::Request& q, httplib::Response& r) {
    std::uint64_t n = 0;
    int delay = 0;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      n = ++sequence_;
      if (q.path != options_.servicePath || q.get_param_value("Handler") != "Default") {
        r.status = 404;
        r.set_content("<html><body><h1>404 Not Found</h1></body></html>", "text/html");
      } else {
        answer(n, q, r);
        if (const Injection* slow = injection(++serviceRequests_, Injection::Kind::Slow)) {
          delay = slow->delayMs;
        }
      }
      logRequest(n, q, r.status);
    }
    if (delay > 0) std::this_thread::sleep_for(std::chrono::milliseconds(delay));
  }

  // Called with the lock held; `serviceRequests_ + 1` is this request's number.
  void answer(std::uint64_t, const httplib::Request& q, httplib::Response& r) {
    using K = Injection::Kind;
    const std::uint64_t n = serviceRequests_ + 1;
    if (!authorised(q)) {
      r.status = 401;
      r.set_header("WWW-Authenticate", "Basic realm=\"FileUploadWS\"");
      r.set_content("<html><body><h1>401 Unauthorized</h1></body></html>", "text/html");
      return;
    }
    if (const Injection* i = injection(n, K::Status)) {
      r.status = i->status;
      bool xml = i->text.rfind("<?xml", 0) == 0;
      r.set_content(i->text, xml ? "text/xml; charset=utf-8" : "text/html");
      return;
    }
    if (const Injection* i = injection(n, K::SoapFault)) {
      r.status = 500;
      r.set_content(soapFault("Server", "Injected fault", i->text), "text/xml; charset=utf-8");
      return;
    }
    if (injection(n, K::Html500) != nullptr) {
      r.status = 500;
      r.set_content(
          "<html><head><title>Server Error</title></head><body><h1>Internal Server "
          "Error</h1><p>The upload could not be processed.<br></p></body></html>",
          "text/html");
      return;
    }
    if (injection(n, K::NotXml) != nullptr) {
      r.status = 200;
      r.set_content("this is not XML & never was", "text/plain");
      return;
    }

    RequestDocument doc;
    if (!readRequestDocument(q.body, doc) || doc.root != "Envelope") {
      r.status = 500;
      r.set_content(soapFault("Client", "The request is not a SOAP envelope", ""),
                    "text/xml; charset=utf-8");
      return;
    }
    std::string action = q.get_header_value("SOAPAction");
    r.status = 200;
    if (action == "\"#StartUpload\"") {
      std::string sid = newSessionId();
      Session& s = sessions_[sid];
      s.filename = doc.texts["filename"];
      s.filesize = doc.texts["filesize"];
      std::ofstream(options_.store / (sid + ".data"), std::ios::binary | std::ios::trunc);
      writeMeta(sid, s);
      std::string header;
      if (injection(n, K::NoSessionHeader) == nullptr) {
        header =
            "<snp:SessionHeaderValue><sessionID>" + sid + "</sessionID></snp:SessionHeaderValue>";
      }
      std::string ret = injection(n, K::NoReturn) == nullptr ? "<return>" + sid + "</return>" : "";
      r.set_content(envelope(header, "<snp:StartUpload>" + ret + "</snp:StartUpload>"),
                    "text/xml; charset=utf-8");
      return;
    }
    bool chunk = action == "\"#UploadChunk\"";
    if (!chunk && action != "\"#EndUpload\"") {
      r.status = 500;
      r.set_content(soapFault("Client", "Unknown SOAPAction", action), "text/xml; charset=utf-8");
      return;
    }
    std::string sid = doc.texts["sessionID"];
    auto found = sessions_.find(sid);
    if (found == sessions_.end() || found->second.ended) {
      r.status = 500;
      r.set_content(
          soapFault("Client", "Unknown upload session", "Session '" + sid + "' is not open"),
          "text/xml; charset=utf-8");
      return;
    }
    Session& s = found->second;
    if (chunk) {
      std::optional<std::string> bytes = base64Decode(doc.texts["chunkdata"]);
      if (!bytes) {
        r.status = 500;
        r.set_content(soapFault("Client", "chunkdata is not base64", ""),
                      "text/xml; charset=utf-8");
        return;
      }
      std::ofstream(options_.store / (sid + ".data"), std::ios::binary | std::ios::app) << *bytes;
      s.received += bytes->size();
      ++s.chunks;
    } else {
      s.ended = true;
    }
    writeMeta(sid, s);
    const char* op = chunk ? "UploadChunk" : "EndUpload";
    r.set_content(
        envelope("", std::string("<snp:") + op + "Response><return>" + std::to_string(s.received) +
                         "</return></snp:" + op + "Response>"),
        "text/xml; charset=utf-8");
  }

  void writeMeta(const std::string& sid, const Session& s) {
    std::ofstream meta(options_.store / (sid + ".json"), std::ios::binary | std::ios::trunc);
    meta << "{\"sessionID\":" << jsonString(sid) << ",\"filename\":" << jsonString(s.filename)
         << ",\"filesize\":" << jsonString(s.filesize) << ",\"received\":" << s.received
         << ",\"chunks\":" << s.chunks << ",\"ended\":" << (s.ended ? "true" : "false") << "}\n";
  }

  static std::string htmlPage(const std::string& title, const std::string& content) {
    return "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>" + xmlEscape(title) +
           "</title></head><body><h1>" + xmlEscape(title) + "</h1>" + content + "</body></html>\n";
  }

  static std::string parameterTable(const httplib::Request& q) {
    std::string rows;
    for (const auto& [name, value] : q.params) {
      rows += "<tr><th>" + xmlEscape(name) + "</th><td>" + xmlEscape(value) + "</td></tr>";
    }
    return "<table>" + rows + "</table>";
  }

  void page(const httplib::Request& q, httplib::Response& r) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::uint64_t n = ++sequence_;
    if (q.path == options_.wizardPath) {
      std::string sid = q.get_param_value("sid");
      std::string progress = "<p>No such upload session.</p>";
      if (auto found = sessions_.find(sid); found != sessions_.end()) {
        const Session& s = found->second;
        progress = "<p id=\"progress\">" + xmlEscape(s.filename) + ": " +
                   std::to_string(s.received) + " of " + xmlEscape(s.filesize) + " bytes in " +
                   std::to_string(s.chunks) + " chunks, " + (s.ended ? "complete" : "uploading") +
                   "</p>";
      }
      r.set_content(htmlPage("Upload wizard", progress + parameterTable(q)),
                    "text/html; charset=utf-8");
    } else if (q.path == options_.errorPath) {
      r.set_content(htmlPage("Upload error", parameterTable(q)), "text/html; charset=utf-8");
    } else {
      r.status = 404;
      r.set_content(htmlPage("Not found", ""), "text/html; charset=utf-8");
    }
    logRequest(n, q, r.status);
  }

  Options options_;
  std::mutex mutex_;
  std::ofstream log_;
  std::uint64_t sequence_ = 0;
  std::uint64_t serviceRequests_ = 0;
  std::map<std::string, Session> sessions_;
};

}  // namespace

int main(int argc, char** argv) {
  Server server(parseOptions(argc, argv));
  return server.run();
}
