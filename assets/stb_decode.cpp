// Picture decoding (assets/pictures.cpp): stb_image, limited to the two formats the pictures use.
// Left out: every other format, files (the pictures are in memory) and floating-point output; the
//   icon's ICO images are read by pictures.cpp itself. stb's own code builds without our warnings.
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_BMP
#define STBI_ONLY_JPEG
#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#define STBI_NO_HDR
#include <stb_image.h>
