// The SOAP 1.1 fault record and its reader.
#pragma once

#include <cstdint>
#include <string>

#include "platform/errors.h"
#include "uploadclient/response_stream.h"
#include "uploadclient/sax_reader.h"

// What a fault answer said. Of it, the uploader shows only the detail.
struct CSoapFaultInfo {
  // 0 unknown, 100 VersionMismatch, 200 MustUnderstand, 300 Client, 400 Server.
  std::int32_t code = 0;
  std::u16string faultCode;
  std::u16string faultString;
  std::u16string faultActor;
  std::u16string detail;

  void clear() { *this = CSoapFaultInfo(); }
};

namespace uploadclient {

// The SOAP 1.1 envelope namespace, which the fault's structure must use.
inline constexpr std::u16string_view kSoapEnvelopeNamespace =
    u"http://schemas.xmlsoap.org/soap/envelope/";

// Clears `record`, then reads the fault document in `stream` into it with
// `reader`. Returns 0 when the fault was readable; otherwise the failure of
// the parse, with whatever fields were stored before it kept in `record`.
platform::ErrorCode readSoapFault(ResponseStream& stream, NamespaceSaxReader& reader,
                                  CSoapFaultInfo& record);

}  // namespace uploadclient
