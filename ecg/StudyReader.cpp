// Fills a TStudy from a data set read from a file. A data set holds a sequence in one of two
// shapes: nested (a defined-length sequence or item is its own DcmObj) or flat (an
// undefined-length one stays in its parent's list as opener, items and delimiters). Files may
// mix them freely, so the flat walk hands nested objects to the nested readers and the nested
// reader hands a flat channel sequence back to the flat channel rules: every mixture gives the
// model its all-flat or all-nested form gives.
//
// Binary values follow the data set's byte order (the top-level transfer syntax; nested objects
// only carry their VR setting). Counts are clamped so a huge Number of Waveform Samples never
// turns negative.
#include <algorithm>
#include <climits>

#include "dicom/DcmObj.h"
#include "dicom/DcmTag.h"
#include "dicom/util/TextUtil.h"
#include "ecg/Study.h"

namespace {

using Waveforms = std::vector<std::unique_ptr<TWaveform>>;
using Channels = std::vector<std::unique_ptr<TChannel>>;

constexpr const char* kBigEndianSyntax = "1.2.840.10008.1.2.2";
constexpr int kMaxDepth = 64;  // nested objects deeper than this are not visited

bool Is(const DcmTag& tag, uint16_t group, uint16_t element) {
  return tag.group == group && tag.element == element;
}

bool HeaderIs(const DcmObj& obj, uint16_t group, uint16_t element) {
  return obj.header && Is(*obj.header, group, element);
}

uint16_t ReadU16(const DcmTag& tag, bool bigEndian) {
  if (tag.data.size() < 2) return 0;
  const uint8_t a = tag.data[0], b = tag.data[1];
  return bigEndian ? static_cast<uint16_t>((a << 8) | b) : static_cast<uint16_t>(a | (b << 8));
}

uint32_t ReadU32(const DcmTag& tag, bool bigEndian) {
  if (tag.data.size() < 4) return 0;
  uint32_t value = 0;
  for (int i = 0; i < 4; ++i) {
    const uint32_t byte = tag.data[static_cast<size_t>(bigEndian ? i : 3 - i)];
    value = (value << 8) | byte;
  }
  return value;
}

// Number of Waveform Samples is an unsigned 32-bit count held in a signed field.
int32_t ReadSampleCount(const DcmTag& tag, bool bigEndian) {
  return static_cast<int32_t>(std::min<uint32_t>(ReadU32(tag, bigEndian), INT32_MAX));
}

// A text as stored: up to its length or first NUL, untrimmed (the nested readers' form).
std::string RawText(const DcmTag& tag) { return ValueText(tag); }

std::unique_ptr<TChannel> NewChannel() { return std::make_unique<TChannel>(); }

void ReadWaveformSequence(Waveforms& waveforms, DcmObj& obj, bool bigEndian, int depth);
void ReadChannelDefinitions(Channels& channels, DcmObj& obj, bool bigEndian, int depth);

// Code Value and Code Meaning found anywhere in the object, depth first; later ones win.
void ReadCodeItem(std::string& value, std::string& meaning, const DcmObj& obj, int depth) {
  if (depth > kMaxDepth) return;
  for (int i = 0; i < obj.Count(); ++i) {
    if (const DcmTag* tag = obj.TagAt(i)) {
      if (Is(*tag, 0x0008, 0x0100)) value = RawText(*tag);
      if (Is(*tag, 0x0008, 0x0104)) meaning = RawText(*tag);
    } else if (const DcmObj* nested = obj.ObjAt(i)) {
      ReadCodeItem(value, meaning, *nested, depth + 1);
    }
  }
}

// The same for a code sequence held as a plain element: its value bytes are parsed into a
// temporary object (little endian, as the parser of such values always is).
void ReadCodeItemFromValue(std::string& value, std::string& meaning, const DcmTag& tag,
                           bool explicitVR) {
  if (tag.length == 0 || tag.length == kUndefinedLength || tag.data.empty()) return;
  DcmObj temporary;
  temporary.explicitVR = explicitVR;
  temporary.Expand_SQ(tag, false);
  ReadCodeItem(value, meaning, temporary, 0);
}

std::string CodeMeaning(const DcmObj& obj) {
  std::string value, meaning;
  ReadCodeItem(value, meaning, obj, 0);
  return meaning;
}

std::string CodeValue(const DcmObj& obj) {
  std::string value, meaning;
  ReadCodeItem(value, meaning, obj, 0);
  return value;
}

bool HoldsOriginality(const DcmObj& obj) {
  for (int i = 0; i < obj.Count(); ++i) {
    if (const DcmTag* tag = obj.TagAt(i); tag && Is(*tag, 0x003A, 0x0004)) return true;
  }
  return false;
}

// The walk over entries that lie flat: the top level of the data set, or the contents of an
// undefined-length Channel Definition Sequence inside a nested multiplex group. Its flags are
// sticky: only the two expect flags ever clear.
class FlatWalk {
 public:
  FlatWalk(TStudy* study, Waveforms& waveforms, bool bigEndian, int depth)
      : study_(study), waveforms_(waveforms), bigEndian_(bigEndian), depth_(depth) {}

  // The channel rules for a flat channel sequence of `waveform`.
  void StartChannelDefinitions(TWaveform* waveform) {
    openWaveform_ = waveform;
    inChannelDefinitions_ = true;
  }

  void Element(const DcmTag& tag) {
    if (study_ != nullptr) StudyText(tag);
    if (Is(tag, 0x0008, 0x0104) && expectSourceMeaning_) {
      if (openChannel_) openChannel_->sourceName = tag.GetString();
      expectSourceMeaning_ = false;
    }
    if (Is(tag, 0x0008, 0x0100) && expectUnitsValue_) {
      if (openChannel_) openChannel_->units = tag.GetString();
      expectUnitsValue_ = false;
    }
    if (study_ != nullptr) WaveformElement(tag);
    if (tag.group == 0x003A && inChannelDefinitions_) ChannelElement(tag);
  }

  void Nested(DcmObj& obj) {
    if (depth_ > kMaxDepth) return;
    if (HeaderIs(obj, 0x5400, 0x0100)) {
      ReadWaveformSequence(waveforms_, obj, bigEndian_, depth_ + 1);
      return;
    }
    if (!inWaveform_ && !inChannelDefinitions_) return;
    if (HeaderIs(obj, 0x003A, 0x0200)) {
      if (openWaveform_ == nullptr) return;
      openWaveform_->channels.clear();
      ReadChannelDefinitions(openWaveform_->channels, obj, bigEndian_, depth_ + 1);
    } else if (HeaderIs(obj, 0x003A, 0x0208)) {
      if (!inChannelDefinitions_) return;
      openChannel_ = NewChannel();
      openChannel_->sourceName = CodeMeaning(obj);
    } else if (HeaderIs(obj, 0x003A, 0x0211)) {
      if (inChannelDefinitions_ && openChannel_) openChannel_->units = CodeValue(obj);
    } else if (HeaderIs(obj, 0xFFFE, 0xE000)) {
      Item(obj);
    }
  }

 private:
  void StudyText(const DcmTag& tag) {
    struct Field {
      uint16_t group, element;
      std::string TStudy::*text;
    };
    static const Field kFields[] = {
        {0x0008, 0x0016, &TStudy::sopClassUID}, {0x0008, 0x0020, &TStudy::studyDate},
        {0x0008, 0x0030, &TStudy::studyTime},   {0x0008, 0x0060, &TStudy::modality},
        {0x0008, 0x0080, &TStudy::institutionName}, {0x0010, 0x0010, &TStudy::patientName},
        {0x0010, 0x0020, &TStudy::patientID},   {0x0010, 0x0030, &TStudy::birthDate},
        {0x0010, 0x0040, &TStudy::sex}};
    for (const Field& field : kFields) {
      if (Is(tag, field.group, field.element)) study_->*field.text = tag.GetString();
    }
  }

  // Rules for the Waveform Sequence kept flat at the top level.
  void WaveformElement(const DcmTag& tag) {
    if (Is(tag, 0x5400, 0x0100)) inWaveform_ = true;
    if (Is(tag, 0x5400, 0x1010) && ownWaveform_) {
      ownWaveform_->data = tag.data;
      ownWaveform_->dataLength = tag.data.size();
      // Appended once and closed: a second Waveform Data without a new group is ignored.
      waveforms_.push_back(std::move(ownWaveform_));
      openWaveform_ = nullptr;
    }
    if (tag.group != 0x003A || !inWaveform_) return;
    if (tag.element == 0x0004) {
      ownWaveform_ = std::make_unique<TWaveform>();
      ownWaveform_->originality = tag.GetString();
      ownWaveform_->bigEndian = bigEndian_;
      openWaveform_ = ownWaveform_.get();
    } else if (openWaveform_ == nullptr) {
      return;
    } else if (tag.element == 0x0005) {
      openWaveform_->channelCount = static_cast<int16_t>(ReadU16(tag, bigEndian_));
    } else if (tag.element == 0x0010) {
      openWaveform_->sampleCount = ReadSampleCount(tag, bigEndian_);
    } else if (tag.element == 0x001A) {
      openWaveform_->samplingFrequency = tag.GetFloat();
    } else if (tag.element == 0x0200) {
      openWaveform_->channels.clear();
      inChannelDefinitions_ = true;
    }
  }

  void ChannelElement(const DcmTag& tag) {
    switch (tag.element) {
      case 0x0208:
        openChannel_ = NewChannel();
        expectSourceMeaning_ = true;
        break;
      case 0x0210:
        if (openChannel_) openChannel_->sensitivity = tag.GetFloat();
        break;
      case 0x0212:
        if (openChannel_) openChannel_->correction = tag.GetFloat();
        break;
      case 0x0213:
        if (openChannel_) openChannel_->baseline = tag.GetFloat();
        break;
      case 0x0211:
        expectUnitsValue_ = true;
        break;
      case 0x021A:
        if (!openChannel_) break;
        openChannel_->bitsStored = ReadU16(tag, bigEndian_);
        // Appended once and closed, so a second Bits Stored cannot add the channel again.
        if (openWaveform_ != nullptr) openWaveform_->channels.push_back(std::move(openChannel_));
        openChannel_.reset();
        break;
      default:
        break;
    }
  }

  // A defined-length item met flat: a code item, a multiplex group or a channel item. A code
  // item answers every flag that waits, as its elements would if they lay flat: a source
  // sequence without a meaning takes the units item's meaning, and the units still get its value.
  void Item(DcmObj& item) {
    if (expectSourceMeaning_ || expectUnitsValue_) {
      std::string value, meaning;
      ReadCodeItem(value, meaning, item, depth_ + 1);
      if (expectSourceMeaning_ && openChannel_) openChannel_->sourceName = meaning;
      if (expectUnitsValue_ && openChannel_) openChannel_->units = value;
      expectSourceMeaning_ = false;
      expectUnitsValue_ = false;
    } else if (HoldsOriginality(item)) {
      ReadWaveformSequence(waveforms_, item, bigEndian_, depth_ + 1);
    } else if (inChannelDefinitions_ && openWaveform_ != nullptr) {
      ReadChannelDefinitions(openWaveform_->channels, item, bigEndian_, depth_ + 1);
    }
  }

  TStudy* study_;  // null for a channel sequence inside a nested group: channel rules only
  Waveforms& waveforms_;
  bool bigEndian_;
  int depth_;
  bool inWaveform_ = false;
  bool inChannelDefinitions_ = false;
  bool expectSourceMeaning_ = false;
  bool expectUnitsValue_ = false;
  std::unique_ptr<TWaveform> ownWaveform_;
  TWaveform* openWaveform_ = nullptr;
  std::unique_ptr<TChannel> openChannel_;
};

bool IsSequenceDelimiter(const DcmTag& tag) { return Is(tag, 0xFFFE, 0xE0DD); }

bool OpensFlatSequence(const DcmTag& tag) {
  return tag.length == kUndefinedLength && tag.group != 0xFFFE;
}

// Reads the entries after an undefined-length Channel Definition Sequence at `start` with the
// flat channel rules, up to its own delimiter; returns the index of that delimiter.
int ReadFlatChannelDefinitions(TWaveform* waveform, Waveforms& waveforms, DcmObj& obj,
                               int start, bool bigEndian, int depth) {
  FlatWalk walk(nullptr, waveforms, bigEndian, depth);
  walk.StartChannelDefinitions(waveform);
  int open = 1;
  int i = start + 1;
  for (; i < obj.Count(); ++i) {
    if (const DcmTag* tag = obj.TagAt(i)) {
      if (OpensFlatSequence(*tag)) ++open;
      if (IsSequenceDelimiter(*tag) && --open == 0) break;
      walk.Element(*tag);
    } else if (DcmObj* nested = obj.ObjAt(i)) {
      nested->explicitVR = obj.explicitVR;
      walk.Nested(*nested);
    }
  }
  return i;
}

void ReadWaveformSequence(Waveforms& waveforms, DcmObj& obj, bool bigEndian, int depth) {
  if (depth > kMaxDepth) return;
  std::unique_ptr<TWaveform> open;
  for (int i = 0; i < obj.Count(); ++i) {
    if (DcmObj* nested = obj.ObjAt(i)) {
      nested->explicitVR = obj.explicitVR;
      if (HeaderIs(*nested, 0x003A, 0x0200)) {
        if (!open) continue;
        open->channels.clear();
        ReadChannelDefinitions(open->channels, *nested, bigEndian, depth + 1);
      } else {
        ReadWaveformSequence(waveforms, *nested, bigEndian, depth + 1);
      }
      continue;
    }
    const DcmTag& tag = *obj.TagAt(i);
    if (Is(tag, 0x003A, 0x0004)) {
      open = std::make_unique<TWaveform>();
      open->originality = tag.GetString();
      open->bigEndian = bigEndian;
    } else if (!open) {
      continue;
    } else if (Is(tag, 0x003A, 0x0005)) {
      open->channelCount = static_cast<int16_t>(ReadU16(tag, bigEndian));
    } else if (Is(tag, 0x003A, 0x0010)) {
      open->sampleCount = ReadSampleCount(tag, bigEndian);
    } else if (Is(tag, 0x003A, 0x001A)) {
      open->samplingFrequency = tag.GetFloat();
    } else if (Is(tag, 0x5400, 0x1004)) {
      open->bitsAllocated = ReadU16(tag, bigEndian);
    } else if (Is(tag, 0x5400, 0x1010)) {
      open->data = tag.data;
      open->dataLength = tag.data.size();
      waveforms.push_back(std::move(open));
    } else if (Is(tag, 0x003A, 0x0200) && tag.length == kUndefinedLength) {
      open->channels.clear();
      i = ReadFlatChannelDefinitions(open.get(), waveforms, obj, i, bigEndian, depth + 1);
    }
  }
}

void ReadChannelDefinitions(Channels& channels, DcmObj& obj, bool bigEndian, int depth) {
  if (depth > kMaxDepth) return;
  std::unique_ptr<TChannel> open;
  auto openNew = [&](std::string sourceName) {
    if (open) channels.push_back(std::move(open));
    open = NewChannel();
    open->sourceName = std::move(sourceName);
  };
  for (int i = 0; i < obj.Count(); ++i) {
    if (DcmObj* nested = obj.ObjAt(i)) {
      nested->explicitVR = obj.explicitVR;
      if (HeaderIs(*nested, 0x003A, 0x0208)) {
        openNew(CodeMeaning(*nested));
      } else if (HeaderIs(*nested, 0x003A, 0x0211)) {
        if (open) open->units = CodeValue(*nested);
      } else if (!nested->header || nested->header->group != 0x003A) {
        ReadChannelDefinitions(channels, *nested, bigEndian, depth + 1);
      }
      continue;
    }
    const DcmTag& tag = *obj.TagAt(i);
    std::string value, meaning;
    if (Is(tag, 0x003A, 0x0208)) {
      ReadCodeItemFromValue(value, meaning, tag, obj.explicitVR);
      openNew(meaning);
    } else if (!open) {
      continue;
    } else if (Is(tag, 0x003A, 0x0211)) {
      ReadCodeItemFromValue(value, meaning, tag, obj.explicitVR);
      open->units = value;
    } else if (Is(tag, 0x003A, 0x0210)) {
      open->sensitivity = tag.GetFloat();
    } else if (Is(tag, 0x003A, 0x0212)) {
      open->correction = tag.GetFloat();
    } else if (Is(tag, 0x003A, 0x0213)) {
      open->baseline = tag.GetFloat();
    }
  }
  if (open) channels.push_back(std::move(open));
}

}  // namespace

void TStudy::Load(DcmObj& object) {
  const bool bigEndian = object.transferSyntax == kBigEndianSyntax;
  FlatWalk walk(this, waveforms, bigEndian, 0);
  for (int i = 0; i < object.Count(); ++i) {
    if (const DcmTag* tag = object.TagAt(i)) {
      walk.Element(*tag);
    } else if (DcmObj* nested = object.ObjAt(i)) {
      nested->explicitVR = object.explicitVR;
      walk.Nested(*nested);
    }
  }
}
