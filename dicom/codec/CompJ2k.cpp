// JPEG 2000 frame encoder: one tile, one quality layer, raw codestream written through the
// library's stream callbacks into a growable buffer.
#include <openjpeg.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "dicom/codec/J2kCodec.h"

namespace {

constexpr char kComment[] = "Created by OpenJPEG version 1.3";

// A growable write target; `end` is the high-water mark, the codestream's length.
struct J2kWriteTarget {
  std::vector<uint8_t> bytes;
  size_t pos = 0;
  size_t end = 0;
};

// Callbacks run inside C frames: they never let an exception out.
OPJ_SIZE_T WriteToTarget(void* buffer, OPJ_SIZE_T n, void* user) {
  auto* t = static_cast<J2kWriteTarget*>(user);
  try {
    if (t->pos + n > t->bytes.size()) t->bytes.resize(std::max(t->pos + n, 2 * t->bytes.size()));
  } catch (const std::exception&) {
    return static_cast<OPJ_SIZE_T>(-1);
  }
  std::memcpy(t->bytes.data() + t->pos, buffer, n);
  t->pos += n;
  t->end = std::max(t->end, t->pos);
  return n;
}

OPJ_OFF_T SkipInTarget(OPJ_OFF_T n, void* user) {
  auto* t = static_cast<J2kWriteTarget*>(user);
  if (n < 0 && static_cast<size_t>(-n) > t->pos) return -1;
  t->pos = static_cast<size_t>(static_cast<OPJ_OFF_T>(t->pos) + n);
  return n;
}

OPJ_BOOL SeekInTarget(OPJ_OFF_T pos, void* user) {
  auto* t = static_cast<J2kWriteTarget*>(user);
  if (pos < 0) return OPJ_FALSE;
  t->pos = static_cast<size_t>(pos);
  return OPJ_TRUE;
}

// The library's default of 6 resolutions refuses images below 32 pixels a side; use as many as
// the smaller side allows.
int ResolutionsFor(int width, int height) {
  int side = std::min(width, height);
  int levels = 1;
  while (side > 1 && levels < 6) {
    side >>= 1;
    ++levels;
  }
  return levels;
}

bool Encode(opj_image_t* image, opj_cparameters_t& params, J2kWriteTarget& target) {
  opj_codec_t* codec = opj_create_compress(OPJ_CODEC_J2K);
  if (!codec) return false;
  bool ok = opj_setup_encoder(codec, &params, image);
  opj_stream_t* stream = ok ? opj_stream_create(OPJ_J2K_STREAM_CHUNK_SIZE, OPJ_FALSE) : nullptr;
  if (stream) {
    opj_stream_set_user_data(stream, &target, nullptr);
    opj_stream_set_write_function(stream, WriteToTarget);
    opj_stream_set_skip_function(stream, SkipInTarget);
    opj_stream_set_seek_function(stream, SeekInTarget);
    ok = opj_start_compress(codec, image, stream) && opj_encode(codec, stream) &&
         opj_end_compress(codec, stream);
    opj_stream_destroy(stream);
  } else {
    ok = false;
  }
  opj_destroy_codec(codec);
  return ok;
}

}  // namespace

int CeilDivPow2(int a, int b) { return (a + (1 << b) - 1) >> b; }

bool CompressJ2k(const uint8_t* samples, uint8_t*& out, uint32_t& outLen, int width, int height,
                 int samplesPerPixel, int precision, int rate, bool isSigned) {
  opj_cparameters_t params;
  opj_set_default_encoder_parameters(&params);
  params.tcp_numlayers = 1;
  params.tcp_rates[0] = static_cast<float>(rate);
  params.cp_disto_alloc = 1;
  params.cp_comment = const_cast<char*>(kComment);  // the library keeps its own copy
  params.tcp_mct = 0;  // components stay as given: RGB samples are stored as RGB
  if (width > 0 && height > 0) params.numresolution = ResolutionsFor(width, height);

  opj_image_t* image =
      SamplesToJ2kImage(samples, &params, width, height, samplesPerPixel, precision, isSigned);
  if (!image) return false;
  try {
    J2kWriteTarget target;
    const bool encoded = Encode(image, params, target);
    opj_image_destroy(image);
    image = nullptr;
    if (!encoded || target.end == 0) return false;
    const size_t padded = target.end + (target.end & 1);
    if (padded > 0xFFFFFFFEu) return false;
    uint8_t* block = new uint8_t[padded];
    std::memcpy(block, target.bytes.data(), target.end);
    if (padded != target.end) block[target.end] = 0x00;
    out = block;
    outLen = static_cast<uint32_t>(padded);
    return true;
  } catch (const std::exception&) {
    if (image) opj_image_destroy(image);
    return false;
  }
}
