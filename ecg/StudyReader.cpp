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
#include "dicom/TagKeyOps.h"
#include "dicom/Tags.h"
#include "dicom/TransferSyntaxes.h"
#include "dicom/util/ByteOrder.h"
#include "dicom/util/TextUtil.h"
#include "ecg/Study.h"

namespace {

using Waveforms = std::vector<std::unique_ptr<TWaveform>>;
using Channels = std::vector<std::unique_ptr<TChannel>>;

constexpr int kMaxDepth = 64;  // nested objects deeper than this are not visited

// The waveform module's attributes, (003A,xxxx).
constexpr uint16_t kWaveformGroup = tag::kWaveformOriginality.group;

bool HeaderIs(const DcmObj& obj, TagKey key) { return obj.header && IsTag(*obj.header, key); }

uint16_t ReadU16(const DcmTag& tag, bool bigEndian) {
  return tag.data.size() < 2 ? 0 : DecodeU16(tag.data.data(), bigEndian);
}

uint32_t ReadU32(const DcmTag& tag, bool bigEndian) {
  return tag.data.size() < 4 ? 0 : DecodeU32(tag.data.data(), bigEndian);
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
      if (IsTag(*tag, tag::kCodeValue)) value = RawText(*tag);
      if (IsTag(*tag, tag::kCodeMeaning)) meaning = RawText(*tag);
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
    if (const DcmTag* tag = obj.TagAt(i); tag && IsTag(*tag, tag::kWaveformOriginality))
      return true;
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
    if (IsTag(tag, tag::kCodeMeaning) && expectSourceMeaning_) {
      if (openChannel_) openChannel_->sourceName = tag.GetString();
      expectSourceMeaning_ = false;
    }
    if (IsTag(tag, tag::kCodeValue) && expectUnitsValue_) {
      if (openChannel_) openChannel_->units = tag.GetString();
      expectUnitsValue_ = false;
    }
    if (study_ != nullptr) WaveformElement(tag);
    if (tag.group == kWaveformGroup && inChannelDefinitions_) ChannelElement(tag);
  }

  void Nested(DcmObj& obj) {
    if (depth_ > kMaxDepth) return;
    if (HeaderIs(obj, tag::kWaveformSequence)) {
      ReadWaveformSequence(waveforms_, obj, bigEndian_, depth_ + 1);
      return;
    }
    if (!inWaveform_ && !inChannelDefinitions_) return;
    if (HeaderIs(obj, tag::kChannelDefinitionSequence)) {
      if (openWaveform_ == nullptr) return;
      openWaveform_->channels.clear();
      ReadChannelDefinitions(openWaveform_->channels, obj, bigEndian_, depth_ + 1);
    } else if (HeaderIs(obj, tag::kChannelSourceSequence)) {
      if (!inChannelDefinitions_) return;
      openChannel_ = NewChannel();
      openChannel_->sourceName = CodeMeaning(obj);
    } else if (HeaderIs(obj, tag::kChannelSensitivityUnitsSequence)) {
      if (inChannelDefinitions_ && openChannel_) openChannel_->units = CodeValue(obj);
    } else if (HeaderIs(obj, tag::kItem)) {
      Item(obj);
    }
  }

 private:
  void StudyText(const DcmTag& tag) {
    struct Field {
      TagKey key;
      std::string TStudy::*text;
    };
    static const Field kFields[] = {{tag::kSOPClassUID, &TStudy::sopClassUID},
                                    {tag::kStudyDate, &TStudy::studyDate},
                                    {tag::kStudyTime, &TStudy::studyTime},
                                    {tag::kModality, &TStudy::modality},
                                    {tag::kInstitutionName, &TStudy::institutionName},
                                    {tag::kPatientName, &TStudy::patientName},
                                    {tag::kPatientID, &TStudy::patientID},
                                    {tag::kPatientBirthDate, &TStudy::birthDate},
                                    {tag::kPatientSex, &TStudy::sex}};
    for (const Field& field : kFields) {
      if (IsTag(tag, field.key)) study_->*field.text = tag.GetString();
    }
  }

  // Rules for the Waveform Sequence kept flat at the top level.
  void WaveformElement(const DcmTag& tag) {
    if (IsTag(tag, tag::kWaveformSequence)) inWaveform_ = true;
    if (IsTag(tag, tag::kWaveformData) && ownWaveform_) {
      ownWaveform_->data = tag.data;
      ownWaveform_->dataLength = tag.data.size();
      // Appended once and closed: a second Waveform Data without a new group is ignored.
      waveforms_.push_back(std::move(ownWaveform_));
      openWaveform_ = nullptr;
    }
    if (tag.group != kWaveformGroup || !inWaveform_) return;
    if (tag.element == tag::kWaveformOriginality.element) {
      ownWaveform_ = std::make_unique<TWaveform>();
      ownWaveform_->originality = tag.GetString();
      ownWaveform_->bigEndian = bigEndian_;
      openWaveform_ = ownWaveform_.get();
    } else if (openWaveform_ == nullptr) {
      return;
    } else if (tag.element == tag::kNumberOfWaveformChannels.element) {
      openWaveform_->channelCount = static_cast<int16_t>(ReadU16(tag, bigEndian_));
    } else if (tag.element == tag::kNumberOfWaveformSamples.element) {
      openWaveform_->sampleCount = ReadSampleCount(tag, bigEndian_);
    } else if (tag.element == tag::kSamplingFrequency.element) {
      openWaveform_->samplingFrequency = tag.GetFloat();
    } else if (tag.element == tag::kChannelDefinitionSequence.element) {
      openWaveform_->channels.clear();
      inChannelDefinitions_ = true;
    }
  }

  void ChannelElement(const DcmTag& tag) {
    switch (tag.element) {
      case tag::kChannelSourceSequence.element:
        openChannel_ = NewChannel();
        expectSourceMeaning_ = true;
        break;
      case tag::kChannelSensitivity.element:
        if (openChannel_) openChannel_->sensitivity = tag.GetFloat();
        break;
      case tag::kChannelSensitivityCorrectionFactor.element:
        if (openChannel_) openChannel_->correction = tag.GetFloat();
        break;
      case tag::kChannelBaseline.element:
        if (openChannel_) openChannel_->baseline = tag.GetFloat();
        break;
      case tag::kChannelSensitivityUnitsSequence.element:
        expectUnitsValue_ = true;
        break;
      case tag::kWaveformBitsStored.element:
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

bool IsSequenceDelimiter(const DcmTag& tag) { return IsTag(tag, tag::kSequenceDelimitationItem); }

bool OpensFlatSequence(const DcmTag& tag) {
  return tag.length == kUndefinedLength && tag.group != tag::kItem.group;
}

// Reads the entries after an undefined-length Channel Definition Sequence at `start` with the
// flat channel rules, up to its own delimiter; returns the index of that delimiter.
int ReadFlatChannelDefinitions(TWaveform* waveform, Waveforms& waveforms, DcmObj& obj, int start,
                               bool bigEndian, int depth) {
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
      if (HeaderIs(*nested, tag::kChannelDefinitionSequence)) {
        if (!open) continue;
        open->channels.clear();
        ReadChannelDefinitions(open->channels, *nested, bigEndian, depth + 1);
      } else {
        ReadWaveformSequence(waveforms, *nested, bigEndian, depth + 1);
      }
      continue;
    }
    const DcmTag& tag = *obj.TagAt(i);
    if (IsTag(tag, tag::kWaveformOriginality)) {
      open = std::make_unique<TWaveform>();
      open->originality = tag.GetString();
      open->bigEndian = bigEndian;
    } else if (!open) {
      continue;
    } else if (IsTag(tag, tag::kNumberOfWaveformChannels)) {
      open->channelCount = static_cast<int16_t>(ReadU16(tag, bigEndian));
    } else if (IsTag(tag, tag::kNumberOfWaveformSamples)) {
      open->sampleCount = ReadSampleCount(tag, bigEndian);
    } else if (IsTag(tag, tag::kSamplingFrequency)) {
      open->samplingFrequency = tag.GetFloat();
    } else if (IsTag(tag, tag::kWaveformBitsAllocated)) {
      open->bitsAllocated = ReadU16(tag, bigEndian);
    } else if (IsTag(tag, tag::kWaveformData)) {
      open->data = tag.data;
      open->dataLength = tag.data.size();
      waveforms.push_back(std::move(open));
    } else if (IsTag(tag, tag::kChannelDefinitionSequence) && tag.length == kUndefinedLength) {
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
      if (HeaderIs(*nested, tag::kChannelSourceSequence)) {
        openNew(CodeMeaning(*nested));
      } else if (HeaderIs(*nested, tag::kChannelSensitivityUnitsSequence)) {
        if (open) open->units = CodeValue(*nested);
      } else if (!nested->header || nested->header->group != kWaveformGroup) {
        ReadChannelDefinitions(channels, *nested, bigEndian, depth + 1);
      }
      continue;
    }
    const DcmTag& tag = *obj.TagAt(i);
    std::string value, meaning;
    if (IsTag(tag, tag::kChannelSourceSequence)) {
      ReadCodeItemFromValue(value, meaning, tag, obj.explicitVR);
      openNew(meaning);
    } else if (!open) {
      continue;
    } else if (IsTag(tag, tag::kChannelSensitivityUnitsSequence)) {
      ReadCodeItemFromValue(value, meaning, tag, obj.explicitVR);
      open->units = value;
    } else if (IsTag(tag, tag::kChannelSensitivity)) {
      open->sensitivity = tag.GetFloat();
    } else if (IsTag(tag, tag::kChannelSensitivityCorrectionFactor)) {
      open->correction = tag.GetFloat();
    } else if (IsTag(tag, tag::kChannelBaseline)) {
      open->baseline = tag.GetFloat();
    }
  }
  if (open) channels.push_back(std::move(open));
}

}  // namespace

void TStudy::Load(DcmObj& object) {
  const bool bigEndian = object.transferSyntax == ts::kExplicitBE;
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
