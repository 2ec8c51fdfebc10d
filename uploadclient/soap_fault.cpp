#include "uploadclient/soap_fault.h"

namespace uploadclient {
namespace {

constexpr std::uint32_t kStageEnvelope = 1;
constexpr std::uint32_t kStageBodyOrHeader = 2;
constexpr std::uint32_t kStageFault = 4;
constexpr std::uint32_t kStageFaultCode = 8;
constexpr std::uint32_t kStageFaultString = 16;
constexpr std::uint32_t kStageFaultActor = 32;
constexpr std::uint32_t kStageDetail = 64;
constexpr std::uint32_t kStageSkipped = 256;
// Below this stage no fault element has started, so an unknown element means
// the document is not a fault.
constexpr std::uint32_t kFirstFieldStage = 5;

struct ElementEntry {
  std::u16string_view localName;
  std::uint32_t marker;
  bool structural;  // must be in the envelope namespace, in order
};

constexpr ElementEntry kElements[] = {
    {u"Envelope", kStageEnvelope, true},      {u"Body", kStageBodyOrHeader, true},
    {u"Header", kStageBodyOrHeader, true},    {u"Fault", kStageFault, true},
    {u"faultcode", kStageFaultCode, false},   {u"faultstring", kStageFaultString, false},
    {u"faultactor", kStageFaultActor, false}, {u"detail", kStageDetail, false},
};

struct FaultCodeEntry {
  std::u16string_view localName;
  std::int32_t code;
};

constexpr FaultCodeEntry kFaultCodes[] = {
    {u"VersionMismatch", 100}, {u"MustUnderstand", 200}, {u"Client", 300}, {u"Server", 400}};

struct ReaderState {
  NamespaceSaxReader& reader;
  CSoapFaultInfo& record;
  std::uint32_t stage = 0;
  bool textTaken = false;
  std::u16string envelopePrefix;
  std::u16string collected;
};

// Remembers the prefix bound to the envelope namespace; every handler shares
// this because declarations may appear on any element.
bool notePrefix(ReaderState& state, std::u16string_view prefix, std::u16string_view uri) {
  if (uri == kSoapEnvelopeNamespace) state.envelopePrefix = prefix;
  return true;
}

class MainHandler;

// Takes over inside a field element and gives its whole content, markup of
// nested elements re-created, to the main handler as one text.
class CaptureHandler final : public SaxContentHandler {
 public:
  CaptureHandler(ReaderState& state, SaxContentHandler& main) : state_(state), main_(main) {}

  void begin() { depth_ = 0; }

  bool startPrefixMapping(std::u16string_view prefix, std::u16string_view uri) override {
    return notePrefix(state_, prefix, uri);
  }
  bool startElement(std::u16string_view, std::u16string_view, std::u16string_view qName,
                    std::span<const SaxAttribute> attributes) override {
    ++depth_;
    std::u16string& out = state_.collected;
    out += u'<';
    out += qName;
    for (const SaxAttribute& a : attributes) {
      out += u' ';
      out += a.qName;
      out += u"=\"";
      out += a.value;
      out += u'"';
    }
    out += u'>';
    return true;
  }
  bool endElement(std::u16string_view uri, std::u16string_view localName,
                  std::u16string_view qName) override {
    if (depth_ == 0) {
      state_.reader.setContentHandler(&main_);
      if (!main_.characters(state_.collected)) return false;
      return main_.endElement(uri, localName, qName);
    }
    --depth_;
    state_.collected += u"</";
    state_.collected += qName;
    state_.collected += u'>';
    return true;
  }
  bool characters(std::u16string_view text) override {
    state_.collected += text;
    return true;
  }

 private:
  ReaderState& state_;
  SaxContentHandler& main_;
  std::uint32_t depth_ = 0;
};

// Ignores an unknown element with everything inside it.
class SkipHandler final : public SaxContentHandler {
 public:
  SkipHandler(ReaderState& state, SaxContentHandler& main) : state_(state), main_(main) {}

  void begin() { depth_ = 0; }

  bool startPrefixMapping(std::u16string_view prefix, std::u16string_view uri) override {
    return notePrefix(state_, prefix, uri);
  }
  bool startElement(std::u16string_view, std::u16string_view, std::u16string_view,
                    std::span<const SaxAttribute>) override {
    ++depth_;
    return true;
  }
  bool endElement(std::u16string_view, std::u16string_view, std::u16string_view) override {
    if (depth_ == 0) {
      state_.reader.setContentHandler(&main_);
    } else {
      --depth_;
    }
    return true;
  }
  bool characters(std::u16string_view) override { return true; }

 private:
  ReaderState& state_;
  SaxContentHandler& main_;
  std::uint32_t depth_ = 0;
};

class MainHandler final : public SaxContentHandler {
 public:
  explicit MainHandler(ReaderState& state)
      : state_(state), capture_(state, *this), skip_(state, *this) {}

  bool startPrefixMapping(std::u16string_view prefix, std::u16string_view uri) override {
    return notePrefix(state_, prefix, uri);
  }

  bool startElement(std::u16string_view uri, std::u16string_view localName, std::u16string_view,
                    std::span<const SaxAttribute>) override {
    state_.textTaken = false;
    for (const ElementEntry& e : kElements) {
      if (e.localName != localName) continue;
      if (e.structural) {
        if (uri != kSoapEnvelopeNamespace || e.marker <= state_.stage) return false;
        state_.stage = e.marker;
        return true;
      }
      state_.stage = e.marker;
      state_.collected.clear();
      capture_.begin();
      state_.reader.setContentHandler(&capture_);
      return true;
    }
    if (state_.stage < kFirstFieldStage) return false;
    state_.stage = kStageSkipped;
    skip_.begin();
    state_.reader.setContentHandler(&skip_);
    return true;
  }

  bool endElement(std::u16string_view, std::u16string_view, std::u16string_view) override {
    return true;
  }

  bool characters(std::u16string_view text) override {
    if (state_.textTaken) return true;
    bool accepted = take(text);
    state_.textTaken = true;
    return accepted;
  }

 private:
  bool take(std::u16string_view text) {
    CSoapFaultInfo& record = state_.record;
    switch (state_.stage) {
      case kStageEnvelope:
      case kStageBodyOrHeader:
      case kStageFault:
      case kStageSkipped:
        return true;
      case kStageFaultCode: {
        if (record.code != 0) return false;
        std::size_t colon = text.find(u':');
        if (colon == std::u16string_view::npos) return false;
        if (text.substr(0, colon) != state_.envelopePrefix) return false;
        std::u16string_view local = text.substr(colon + 1);
        for (const FaultCodeEntry& f : kFaultCodes) {
          if (f.localName == local) record.code = f.code;
        }
        record.faultCode = text;
        return true;
      }
      case kStageFaultString:
        return store(record.faultString, text);
      case kStageFaultActor:
        return store(record.faultActor, text);
      case kStageDetail:
        return store(record.detail, text);
      default:
        return false;
    }
  }

  static bool store(std::u16string& field, std::u16string_view text) {
    if (!field.empty()) return false;
    field = text;
    return true;
  }

  ReaderState& state_;
  CaptureHandler capture_;
  SkipHandler skip_;
};

}  // namespace

platform::ErrorCode readSoapFault(ResponseStream& stream, NamespaceSaxReader& reader,
                                  CSoapFaultInfo& record) {
  record.clear();
  ReaderState state{reader, record};
  MainHandler main(state);
  reader.setContentHandler(&main);
  platform::ErrorCode result = reader.parse(stream);
  reader.setContentHandler(nullptr);
  return result;
}

}  // namespace uploadclient
