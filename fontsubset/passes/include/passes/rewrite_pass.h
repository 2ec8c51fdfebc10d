// The rewrite pass: reads the document a second time and writes the shrunk
// file: a fresh 56-byte header with the scan's statistics, then the whole
// record stream deflated, with each font record of a replaced font carrying
// the subset under the subset's own name, and one processing marker.
#pragma once

#include <cstdint>
#include <string>

#include "passes/scan_pass.h"
#include "spool/output_writer.h"
#include "spool/record_reader.h"

namespace passes {

enum class RewriteFailure {
  None,
  Read,
  NotDocumentStart,
  SecondDocumentStart,
  AfterDocumentEnd,
  MalformedRecord,
  Write,  // the sink refused bytes, or deflate failed
};

class RewritePass {
 public:
  // The summary's fonts are marked as written while the pass runs.
  RewritePass(ScanSummary& summary, spool::ByteSink& sink);
  ~RewritePass();
  RewritePass(const RewritePass&) = delete;
  RewritePass& operator=(const RewritePass&) = delete;

  bool begin();
  bool feed(spool::Bytes chunk);
  // True when every record was written and the compressed stream is complete.
  bool end();

  RewriteFailure failure() const { return failure_; }
  const spool::ReadError& readError() const { return reader_.error(); }
  std::string describeFailure() const;

  // For the handlers.
  struct Handlers;

 private:
  ScanSummary& summary_;
  spool::OutputWriter writer_;
  spool::RecordReader reader_;
  RewriteFailure failure_ = RewriteFailure::None;
  std::uint64_t failureOffset_ = 0;
  bool started_ = false;
  bool ended_ = false;
};

}  // namespace passes
