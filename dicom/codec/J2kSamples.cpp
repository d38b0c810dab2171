// Native samples to the library's image record: one 32-bit plane per component, filled by a
// copier chosen by sample width and signedness.
#include <openjpeg.h>

#include <cstring>

#include "dicom/codec/J2kCodec.h"

namespace {

template <typename Sample>
void CopySamples(const uint8_t* samples, opj_image_t* image, size_t pixels, int components) {
  for (size_t i = 0; i < pixels; ++i)
    for (int c = 0; c < components; ++c) {
      Sample v;
      std::memcpy(&v, samples + (i * components + c) * sizeof(Sample), sizeof v);
      image->comps[c].data[i] = static_cast<OPJ_INT32>(v);
    }
}

void CopySamplesU8(const uint8_t* s, opj_image_t* im, size_t n, int c) {
  CopySamples<uint8_t>(s, im, n, c);
}
void CopySamplesS8(const uint8_t* s, opj_image_t* im, size_t n, int c) {
  CopySamples<int8_t>(s, im, n, c);
}
void CopySamplesU16(const uint8_t* s, opj_image_t* im, size_t n, int c) {
  CopySamples<uint16_t>(s, im, n, c);
}
void CopySamplesS16(const uint8_t* s, opj_image_t* im, size_t n, int c) {
  CopySamples<int16_t>(s, im, n, c);
}

}  // namespace

opj_image* SamplesToJ2kImage(const uint8_t* samples, const opj_cparameters* parameters, int width,
                             int height, int samplesPerPixel, int precision, bool isSigned) {
  if (!samples || !parameters || width <= 0 || height <= 0) return nullptr;
  if (samplesPerPixel != 1 && samplesPerPixel != 3) return nullptr;
  if (precision < 1 || precision > 16) return nullptr;

  opj_image_cmptparm_t parms[3];
  std::memset(parms, 0, sizeof parms);
  for (int c = 0; c < samplesPerPixel; ++c) {
    parms[c].w = static_cast<OPJ_UINT32>(width);
    parms[c].h = static_cast<OPJ_UINT32>(height);
    parms[c].prec = static_cast<OPJ_UINT32>(precision);
    parms[c].sgnd = isSigned ? 1 : 0;
    parms[c].dx = static_cast<OPJ_UINT32>(parameters->subsampling_dx);
    parms[c].dy = static_cast<OPJ_UINT32>(parameters->subsampling_dy);
    parms[c].x0 = 0;
    parms[c].y0 = 0;
  }
  const OPJ_COLOR_SPACE space = samplesPerPixel == 3 ? OPJ_CLRSPC_SRGB : OPJ_CLRSPC_GRAY;
  opj_image_t* image = opj_image_create(static_cast<OPJ_UINT32>(samplesPerPixel), parms, space);
  if (!image) return nullptr;
  image->x0 = static_cast<OPJ_UINT32>(parameters->image_offset_x0);
  image->y0 = static_cast<OPJ_UINT32>(parameters->image_offset_y0);
  image->x1 =
      image->x0 +
      static_cast<OPJ_UINT32>(width - 1) * static_cast<OPJ_UINT32>(parameters->subsampling_dx) + 1;
  image->y1 =
      image->y0 +
      static_cast<OPJ_UINT32>(height - 1) * static_cast<OPJ_UINT32>(parameters->subsampling_dy) + 1;

  const size_t pixels = static_cast<size_t>(width) * static_cast<size_t>(height);
  if (precision <= 8)
    (isSigned ? CopySamplesS8 : CopySamplesU8)(samples, image, pixels, samplesPerPixel);
  else
    (isSigned ? CopySamplesS16 : CopySamplesU16)(samples, image, pixels, samplesPerPixel);
  return image;
}
