// JPEG 2000 frame decoder: reads one raw codestream from memory through the library's stream
// callbacks and writes the components interleaved, at the caller's sample width.
#include <openjpeg.h>

#include <algorithm>
#include <cstring>

#include "dicom/codec/J2kCodec.h"

namespace {

struct J2kReadSource {
  const uint8_t* bytes;
  size_t length;
  size_t pos;
};

OPJ_SIZE_T ReadFromSource(void* buffer, OPJ_SIZE_T n, void* user) {
  auto* s = static_cast<J2kReadSource*>(user);
  if (s->pos >= s->length) return static_cast<OPJ_SIZE_T>(-1);
  const size_t count = std::min<size_t>(n, s->length - s->pos);
  std::memcpy(buffer, s->bytes + s->pos, count);
  s->pos += count;
  return count;
}

OPJ_OFF_T SkipInSource(OPJ_OFF_T n, void* user) {
  auto* s = static_cast<J2kReadSource*>(user);
  if (n < 0) {
    const size_t back = std::min<size_t>(static_cast<size_t>(-n), s->pos);
    s->pos -= back;
    return -static_cast<OPJ_OFF_T>(back);
  }
  const size_t ahead = std::min<size_t>(static_cast<size_t>(n), s->length - s->pos);
  s->pos += ahead;
  return static_cast<OPJ_OFF_T>(ahead);
}

OPJ_BOOL SeekInSource(OPJ_OFF_T pos, void* user) {
  auto* s = static_cast<J2kReadSource*>(user);
  if (pos < 0 || static_cast<size_t>(pos) > s->length) return OPJ_FALSE;
  s->pos = static_cast<size_t>(pos);
  return OPJ_TRUE;
}

opj_image_t* DecodeImage(const uint8_t* codestream, uint32_t length) {
  opj_dparameters_t params;
  opj_set_default_decoder_parameters(&params);
  params.cp_reduce = 0;
  params.cp_layer = 0;
  params.decod_format = 0;  // raw codestream
  opj_codec_t* codec = opj_create_decompress(OPJ_CODEC_J2K);
  if (!codec) return nullptr;
  opj_image_t* image = nullptr;
  J2kReadSource source{codestream, length, 0};
  opj_stream_t* stream = nullptr;
  bool ok = opj_setup_decoder(codec, &params);
  if (ok) stream = opj_stream_create(OPJ_J2K_STREAM_CHUNK_SIZE, OPJ_TRUE);
  if (stream) {
    opj_stream_set_user_data(stream, &source, nullptr);
    opj_stream_set_user_data_length(stream, length);
    opj_stream_set_read_function(stream, ReadFromSource);
    opj_stream_set_skip_function(stream, SkipInSource);
    opj_stream_set_seek_function(stream, SeekInSource);
    ok = opj_read_header(stream, codec, &image) && opj_decode(codec, stream, image) &&
         opj_end_decompress(codec, stream);
    opj_stream_destroy(stream);
  } else {
    ok = false;
  }
  opj_destroy_codec(codec);
  if (!ok && image) {
    opj_image_destroy(image);
    image = nullptr;
  }
  return image;
}

// The bytes the image needs in the interleaved layout, or 0 when it cannot be laid out.
size_t InterleavedSize(const opj_image_t* image, int bytesPerSample) {
  if (image->numcomps == 0) return 0;
  size_t most = 0;
  for (OPJ_UINT32 c = 0; c < image->numcomps; ++c) {
    const opj_image_comp_t& comp = image->comps[c];
    if (!comp.data || comp.w == 0 || comp.h == 0) return 0;
    const size_t pixels = static_cast<size_t>(comp.w) * comp.h;
    most = std::max(most, pixels);
  }
  return most * image->numcomps * static_cast<size_t>(bytesPerSample);
}

void StoreComponents(const opj_image_t* image, uint8_t* dst, int bytesPerSample) {
  const size_t n = image->numcomps;
  for (size_t c = 0; c < n; ++c) {
    const opj_image_comp_t& comp = image->comps[c];
    const size_t pixels = static_cast<size_t>(comp.w) * comp.h;
    for (size_t k = 0; k < pixels; ++k) {
      const uint32_t v = static_cast<uint32_t>(comp.data[k]);
      uint8_t* at = dst + (c + k * n) * static_cast<size_t>(bytesPerSample);
      for (int b = 0; b < bytesPerSample; ++b) at[b] = static_cast<uint8_t>(v >> (8 * b));
    }
  }
}

}  // namespace

bool DecompressJ2k(const uint8_t* codestream, uint8_t* dst, uint32_t length, size_t capacity,
                   int bytesPerSample) {
  if (!codestream || !dst || length == 0 ||
      (bytesPerSample != 1 && bytesPerSample != 2 && bytesPerSample != 4))
    return false;
  opj_image_t* image = DecodeImage(codestream, length);
  if (!image) return false;
  const size_t need = InterleavedSize(image, bytesPerSample);
  const bool fits = need != 0 && need <= capacity;
  if (fits) StoreComponents(image, dst, bytesPerSample);
  opj_image_destroy(image);
  return fits;
}
