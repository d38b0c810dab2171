// The JPEG frame adapters, written once and compiled once per IJG build: the build system passes
// -DB=8, 12 or 16 together with that build's own header folder. Every public library name is
// mangled by the build's headers, so each object file talks to its own library only.
//
// Error recovery uses setjmp/longjmp through the library's C frames. To keep that sound in C++:
// no object with a destructor is live in a frame the jump skips, values changed after setjmp and
// read after the jump live in memory reached through pointers, and no exception crosses a
// library frame (callbacks catch and turn failures into library errors).
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "dicom/codec/JpegCodec.h"

extern "C" {
#include "jerror.h"
#include "jpeglib.h"
}

#if !defined(B) || !defined(BITS_IN_JSAMPLE) || BITS_IN_JSAMPLE != B
#error "JpegAdapter.cpp must be compiled with -DB=N and the matching gdcmjpeg/N include folder"
#endif
#if !defined(jpeg_std_error)
#error "the prefixed IJG headers were not found (plain libjpeg must never be used here)"
#endif

#define JPEG_CAT2(a, b) a##b
#define JPEG_CAT(a, b) JPEG_CAT2(a, b)
#define BUILD(name) JPEG_CAT(name, B)

namespace {

constexpr size_t kDestBlock = 16384;  // encoder output is gathered in blocks of this size

// The standard error manager followed by the recovery point the error exit jumps to.
struct JpegErrorJump {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
};

extern "C" void BUILD(JpegErrorLongjmp)(j_common_ptr ci) {
  auto* err = reinterpret_cast<JpegErrorJump*>(ci->err);
  std::longjmp(err->jump, 1);
}

// Warnings and traces go nowhere: the default handlers would print them on stderr.
extern "C" void BUILD(JpegSilentOutput)(j_common_ptr) {}
extern "C" void BUILD(JpegSilentEmit)(j_common_ptr, int) {}

void InstallErrorJump(JpegErrorJump& err) {
  jpeg_std_error(&err.pub);
  err.pub.error_exit = BUILD(JpegErrorLongjmp);
  err.pub.output_message = BUILD(JpegSilentOutput);
  err.pub.emit_message = BUILD(JpegSilentEmit);
}

// ---------------------------------------------------------------------------------------------
// Encoder

// The encoder record lives in CompressJpegN (its vector has a destructor); setjmp is called one
// frame below, in Compress, so a library error never skips the vector's frame.
struct BUILD(JpegEncoder) {
  std::vector<uint8_t> stream;  // the encoded bytes gathered so far
  uint8_t* buffer = nullptr;    // the destination block, new[]
  uint32_t count = 0;           // bytes in the last, partial block
  int mode = 0;                 // 8-bit build: 0 baseline, 4 lossless
  int predictor = 1;
  int pointTransform = 0;

  int Compress(int width, int height, int components, const uint8_t* samples);

  void BUILD(MemDestInit)(j_compress_ptr ci) {
    ci->dest->next_output_byte = buffer;
    ci->dest->free_in_buffer = kDestBlock;
    count = 0;
  }
  bool Append(size_t n) {
    try {
      stream.insert(stream.end(), buffer, buffer + n);
      return true;
    } catch (const std::bad_alloc&) {
      return false;
    }
  }
  boolean BUILD(MemDestEmpty)(j_compress_ptr ci) {
    if (!Append(kDestBlock)) ERREXIT1(ci, JERR_OUT_OF_MEMORY, 0);
    ci->dest->next_output_byte = buffer;
    ci->dest->free_in_buffer = kDestBlock;
    return TRUE;
  }
  void BUILD(MemDestTerm)(j_compress_ptr ci) {
    count = static_cast<uint32_t>(kDestBlock - ci->dest->free_in_buffer);
    const bool ok = Append(count);
    delete[] buffer;
    buffer = nullptr;
    if (!ok) ERREXIT1(ci, JERR_OUT_OF_MEMORY, 0);
  }
};

using Encoder = BUILD(JpegEncoder);

extern "C" void BUILD(MemDestInitThunk)(j_compress_ptr ci) {
  static_cast<Encoder*>(ci->client_data)->BUILD(MemDestInit)(ci);
}
extern "C" boolean BUILD(MemDestEmptyThunk)(j_compress_ptr ci) {
  return static_cast<Encoder*>(ci->client_data)->BUILD(MemDestEmpty)(ci);
}
extern "C" void BUILD(MemDestTermThunk)(j_compress_ptr ci) {
  static_cast<Encoder*>(ci->client_data)->BUILD(MemDestTerm)(ci);
}

void ApplyBuildSettings(jpeg_compress_struct& ci, const Encoder& enc) {
#if B == 8
  if (enc.mode == 4)
    jpeg_simple_lossless(&ci, enc.predictor, enc.pointTransform);
  else
    jpeg_set_quality(&ci, 90, TRUE);
#elif B == 12
  (void)enc;
  jpeg_set_quality(&ci, 75, TRUE);
#else
  jpeg_simple_lossless(&ci, enc.predictor, enc.pointTransform);
#endif
}

int Encoder::Compress(int width, int height, int components, const uint8_t* samples) {
  jpeg_compress_struct ci;
  JpegErrorJump err;
  jpeg_destination_mgr dest;
  std::memset(&ci, 0, sizeof ci);
  InstallErrorJump(err);
  ci.err = &err.pub;
  if (setjmp(err.jump)) {
    jpeg_destroy_compress(&ci);
    return -1;
  }
  jpeg_create_compress(&ci);
  ci.client_data = this;
  dest.init_destination = BUILD(MemDestInitThunk);
  dest.empty_output_buffer = BUILD(MemDestEmptyThunk);
  dest.term_destination = BUILD(MemDestTermThunk);
  ci.dest = &dest;

  ci.image_width = static_cast<JDIMENSION>(width);
  ci.image_height = static_cast<JDIMENSION>(height);
  ci.input_components = components;
  ci.in_color_space = components == 3 ? JCS_RGB : JCS_GRAYSCALE;
  jpeg_set_defaults(&ci);
  ApplyBuildSettings(ci, *this);
  // No chroma subsampling: every component at full resolution.
  if (ci.jpeg_color_space == JCS_YCbCr) {
    ci.comp_info[0].h_samp_factor = 1;
    ci.comp_info[0].v_samp_factor = 1;
  }
  for (int i = 1; i < MAX_COMPONENTS; ++i) {
    ci.comp_info[i].h_samp_factor = 1;
    ci.comp_info[i].v_samp_factor = 1;
  }
  jpeg_start_compress(&ci, TRUE);
  const size_t rowSamples = static_cast<size_t>(width) * static_cast<size_t>(components);
  const JSAMPLE* base = reinterpret_cast<const JSAMPLE*>(samples);
  while (ci.next_scanline < ci.image_height) {
    JSAMPROW row = const_cast<JSAMPLE*>(base + ci.next_scanline * rowSamples);
    jpeg_write_scanlines(&ci, &row, 1);
  }
  jpeg_finish_compress(&ci);
  jpeg_destroy_compress(&ci);
  return 0;
}

int CompressFrame(Encoder& enc, int width, int height, int components, const uint8_t* samples,
                  uint8_t*& out, uint32_t& outLen) {
  if (width <= 0 || height <= 0 || (components != 1 && components != 3) || !samples) return -1;
  enc.buffer = new (std::nothrow) uint8_t[kDestBlock];
  if (!enc.buffer) return -1;
  const int rc = enc.Compress(width, height, components, samples);
  delete[] enc.buffer;  // still set when an error skipped the end callback
  enc.buffer = nullptr;
  if (rc != 0 || enc.stream.size() > 0xFFFFFFFEu) return -1;
  uint8_t* block = new (std::nothrow) uint8_t[enc.stream.size()];
  if (!block) return -1;
  std::memcpy(block, enc.stream.data(), enc.stream.size());
  out = block;
  outLen = static_cast<uint32_t>(enc.stream.size());
  return 0;
}

// ---------------------------------------------------------------------------------------------
// Decoder

// The whole compressed stream is handed to the library in one piece by the first fill; a second
// fill means the stream ended early, which is reported as suspension (no EOI is faked).
struct MemSourceMgr {
  jpeg_source_mgr pub;
  long skipPending;
  const uint8_t* data;
  uint32_t length;
};

using Source = MemSourceMgr;

extern "C" void BUILD(MemSourceInit)(j_decompress_ptr) {}
extern "C" void BUILD(MemSourceTerm)(j_decompress_ptr) {}

extern "C" boolean BUILD(MemSourceFill)(j_decompress_ptr ci) {
  auto* src = reinterpret_cast<Source*>(ci->src);
  if (!src->data) return FALSE;
  src->pub.next_input_byte = src->data;
  src->pub.bytes_in_buffer = src->length;
  src->data = nullptr;
  src->length = 0;
  if (src->skipPending > 0) {
    const size_t pending = static_cast<size_t>(src->skipPending);
    if (pending > src->pub.bytes_in_buffer) {
      src->skipPending -= static_cast<long>(src->pub.bytes_in_buffer);
      src->pub.next_input_byte += src->pub.bytes_in_buffer;
      src->pub.bytes_in_buffer = 0;
      return FALSE;
    }
    src->pub.next_input_byte += pending;
    src->pub.bytes_in_buffer -= pending;
    src->skipPending = 0;
  }
  return TRUE;
}

extern "C" void BUILD(MemSourceSkip)(j_decompress_ptr ci, long n) {
  auto* src = reinterpret_cast<Source*>(ci->src);
  if (n <= 0) return;
  const size_t want = static_cast<size_t>(n);
  if (want > src->pub.bytes_in_buffer) {
    src->skipPending = static_cast<long>(want - src->pub.bytes_in_buffer);
    src->pub.next_input_byte += src->pub.bytes_in_buffer;
    src->pub.bytes_in_buffer = 0;
  } else {
    src->pub.next_input_byte += want;
    src->pub.bytes_in_buffer -= want;
    src->skipPending = 0;
  }
}

void StoreRow(const JSAMPLE* row, size_t samples, uint8_t* dst, int bytesPerSample) {
  if (bytesPerSample == 1) {
    for (size_t i = 0; i < samples; ++i) dst[i] = static_cast<uint8_t>(row[i]);
    return;
  }
  for (size_t i = 0; i < samples; ++i) {
    const uint16_t v = static_cast<uint16_t>(row[i]);
    dst[2 * i] = static_cast<uint8_t>(v & 0xFF);
    dst[2 * i + 1] = static_cast<uint8_t>(v >> 8);
  }
}

// Runs one decoding; the records belong to the caller, so the jump skips nothing with a
// destructor.
int DecodeWith(jpeg_decompress_struct* ci, JpegErrorJump* err, Source* src, uint8_t* dst,
               size_t capacity, int bytesPerSample, bool labelledRgb) {
  InstallErrorJump(*err);
  ci->err = &err->pub;
  if (setjmp(err->jump)) {
    char text[JMSG_LENGTH_MAX];  // formatted for parity with the library, never shown
    (*ci->err->format_message)(reinterpret_cast<j_common_ptr>(ci), text);
    jpeg_destroy_decompress(ci);
    return -1;
  }
  jpeg_create_decompress(ci);
  ci->src = &src->pub;
  if (jpeg_read_header(ci, TRUE) != JPEG_HEADER_OK) {
    jpeg_destroy_decompress(ci);
    return -1;
  }
#if B == 8
  // Lossless colour without JFIF/Adobe markers is guessed as YCbCr; deliver it as stored.
  if (ci->process == JPROC_LOSSLESS && ci->jpeg_color_space == JCS_YCbCr &&
      ci->out_color_space == JCS_RGB)
    ci->jpeg_color_space = JCS_RGB;
#endif
  // A colour stream with neither JFIF nor Adobe marker does not say whether it was transformed;
  // the library then guesses YCbCr. A data set labelling its samples RGB has said otherwise.
  if (labelledRgb && ci->num_components == 3 && !ci->saw_JFIF_marker && !ci->saw_Adobe_marker &&
      ci->jpeg_color_space == JCS_YCbCr)
    ci->jpeg_color_space = JCS_RGB;
  if (!jpeg_start_decompress(ci)) {
    jpeg_destroy_decompress(ci);
    return -1;
  }
  const size_t rowLen =
      static_cast<size_t>(ci->output_width) * static_cast<size_t>(ci->output_components);
  const size_t rowBytes = rowLen * static_cast<size_t>(bytesPerSample);
  // Refuse a stream that decodes to more than the area before any row is written.
  if (rowBytes == 0 || ci->output_height > capacity / rowBytes) {
    jpeg_destroy_decompress(ci);
    return -1;
  }
  JSAMPARRAY rows = (*ci->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(ci), JPOOL_IMAGE,
                                             static_cast<JDIMENSION>(rowLen), 1);
  if (!rows) {
    jpeg_destroy_decompress(ci);
    return -1;
  }
  while (ci->output_scanline < ci->output_height) {
    if (jpeg_read_scanlines(ci, rows, 1) == 0) {
      jpeg_destroy_decompress(ci);
      return -1;
    }
    StoreRow(rows[0], rowLen, dst + (ci->output_scanline - 1) * rowBytes, bytesPerSample);
  }
  const bool finished = jpeg_finish_decompress(ci);
  jpeg_destroy_decompress(ci);
  return finished ? 0 : -1;
}

int Decompress(const uint8_t* jpeg, uint8_t* dst, uint32_t jpegLen, size_t capacity,
               int bytesPerSample, bool labelledRgb) {
  if (!jpeg || !dst || (bytesPerSample != 1 && bytesPerSample != 2)) return -1;
  auto* ci = new (std::nothrow) jpeg_decompress_struct;
  auto* err = new (std::nothrow) JpegErrorJump;
  auto* src = new (std::nothrow) Source;
  int rc = -1;
  if (ci && err && src) {
    std::memset(ci, 0, sizeof *ci);
    std::memset(src, 0, sizeof *src);
    src->pub.init_source = BUILD(MemSourceInit);
    src->pub.fill_input_buffer = BUILD(MemSourceFill);
    src->pub.skip_input_data = BUILD(MemSourceSkip);
    src->pub.resync_to_restart = jpeg_resync_to_restart;
    src->pub.term_source = BUILD(MemSourceTerm);
    src->pub.next_input_byte = nullptr;
    src->pub.bytes_in_buffer = 0;
    src->skipPending = 0;
    src->data = jpeg;
    src->length = jpegLen;
    rc = DecodeWith(ci, err, src, dst, capacity, bytesPerSample, labelledRgb);
  }
  delete src;
  delete err;
  delete ci;
  return rc;
}

}  // namespace

#if B == 8
int CompressJpeg8(int width, int height, int components, const uint8_t* samples, uint8_t*& out,
                  uint32_t& outLen, int mode) {
  if (mode != 0 && mode != 4) return -1;
  try {
    Encoder enc;
    enc.mode = mode;
    if (mode == 4) {
      enc.predictor = 1;
      enc.pointTransform = 0;
    }
    return CompressFrame(enc, width, height, components, samples, out, outLen);
  } catch (const std::exception&) {
    return -1;
  }
}
#else
int BUILD(CompressJpeg)(int width, int height, int components, const uint8_t* samples,
                        uint8_t*& out, uint32_t& outLen) {
  try {
    Encoder enc;
    return CompressFrame(enc, width, height, components, samples, out, outLen);
  } catch (const std::exception&) {
    return -1;
  }
}
#endif

int BUILD(DecompressJpeg)(const uint8_t* jpeg, uint8_t* dst, uint32_t jpegLen, size_t capacity,
                          int bytesPerSample, bool labelledRgb) {
  return Decompress(jpeg, dst, jpegLen, capacity, bytesPerSample, labelledRgb);
}
