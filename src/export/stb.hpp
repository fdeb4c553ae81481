// stb_image and stb_image_write, from Debian's libstb-dev, with the decoders this program uses.
#pragma once

#include <stb_image.h>
#include <stb_image_write.h>
