// The readers' reasons for refusing a file, recorded per reader for the
// last image read on this thread.
#include "texture_io/tex_reject.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "texture_io/tex_image.h"

namespace qv::tex {

namespace {

constexpr std::size_t kReaders = static_cast<std::size_t>(TexReader::Count);

const char* const s_readerNames[] = {"BMP", "PPM", "DDS", "JPEG", "PNG", "TGA", "DIB"};
static_assert(sizeof s_readerNames / sizeof s_readerNames[0] == kReaders, "one name per reader");

const char* const s_rejectionTexts[] = {
#define QV_TEX_REJECTION_TEXT(name, text) text,
    QV_TEX_REJECTIONS(QV_TEX_REJECTION_TEXT)
#undef QV_TEX_REJECTION_TEXT
};
static_assert(sizeof s_rejectionTexts / sizeof s_rejectionTexts[0] ==
                  static_cast<std::size_t>(TexRejection::Count),
              "one text per reason");

struct Rejections {
  TexReader running = TexReader::Count;  // Count: no reader is running
  TexRejection reason[kReaders] = {};
  char detail[kReaders][160] = {};
};

Rejections& Record() {
  thread_local Rejections s_record;
  return s_record;
}

std::size_t Index(TexReader reader) { return static_cast<std::size_t>(reader); }

}  // namespace

const char* TexReaderName(TexReader reader) {
  return Index(reader) < kReaders ? s_readerNames[Index(reader)] : "?";
}

const char* TexRejectionText(TexRejection why) {
  const auto i = static_cast<std::size_t>(why);
  return i < static_cast<std::size_t>(TexRejection::Count) ? s_rejectionTexts[i] : "?";
}

TexRejection LastRejection(TexReader reader) {
  return Index(reader) < kReaders ? Record().reason[Index(reader)] : TexRejection::None;
}

const char* LastRejectionDetail(TexReader reader) {
  return Index(reader) < kReaders ? Record().detail[Index(reader)] : "";
}

std::string LastRejectionsText() {
  std::string text;
  for (std::size_t i = 0; i < kReaders; ++i) {
    const TexRejection why = Record().reason[i];
    if (why == TexRejection::None) continue;
    if (!text.empty()) text += "; ";
    text += std::string(s_readerNames[i]) + ": " + TexRejectionText(why);
    if (Record().detail[i][0]) text += std::string(" (") + Record().detail[i] + ")";
  }
  return text;
}

TexReaderScope::TexReaderScope(TexReader reader) : m_previous(Record().running) { Record().running = reader; }

TexReaderScope::~TexReaderScope() { Record().running = m_previous; }

ReadResult Reject(TexRejection why, const char* detail) {
  Rejections& record = Record();
  const std::size_t i = Index(record.running);
  if (i < kReaders) {
    record.reason[i] = why;
    std::snprintf(record.detail[i], sizeof record.detail[i], "%s", detail ? detail : "");
  }
  return ReadResult::Rejected;
}

void ForgetRejection() { Reject(TexRejection::None); }

void ClearRejections() {
  const TexReader running = Record().running;
  Record() = Rejections();
  Record().running = running;
}

}  // namespace qv::tex
