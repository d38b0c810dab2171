// Frame encoder and decoder for raw JPEG 2000 codestreams (no JP2 boxes) over OpenJPEG, held
// entirely in memory. Samples: pixels row by row, components interleaved (R, G, B); 1 byte per
// sample up to 8 bits of precision, 2 host-order bytes from 9 to 16. The codecs print nothing.
#pragma once

#include <cstddef>
#include <cstdint>

struct opj_cparameters;
struct opj_image;

// rate 0 keeps every bit; 10 aims at about ten to one. On true, out is a new[] block holding
// the codestream padded to even length with one 0x00; the caller releases it with delete[].
// isSigned marks the samples as two's complement of their width. False: nothing was produced.
bool CompressJ2k(const uint8_t* samples, uint8_t*& out, uint32_t& outLen, int width, int height,
                 int samplesPerPixel, int precision, int rate, bool isSigned);

// Builds the library's image (1 greyscale or 3 sRGB components, precision 1..16); null when the
// layout is not supported or the library cannot allocate it.
opj_image* SamplesToJ2kImage(const uint8_t* samples, const opj_cparameters* parameters, int width,
                             int height, int samplesPerPixel, int precision, bool isSigned);

// Decodes one codestream into dst, each sample as `bytesPerSample` bytes (1, 2 or 4, little
// endian; signed samples in two's complement at that width). A codestream that decodes to more
// than `capacity` bytes is refused; on false, dst is untouched.
bool DecompressJ2k(const uint8_t* codestream, uint8_t* dst, uint32_t length, size_t capacity,
                   int bytesPerSample);

// The ceiling of a / 2^b for non-negative a.
int CeilDivPow2(int a, int b);
