#pragma once

#include "pst/messaging/pst_file.h"

#include <cstddef>
#include <string>

namespace plumbrae::testing {

/// Contact number `index` of a reproducible sample: every field filled, texts in several
/// scripts (including characters outside the Basic Multilingual Plane); every 7th contact has
/// a body longer than one block, every 5th a picture when `withPictures`.
pst::messaging::Contact sampleContact(std::size_t index, bool withPictures = true);

} // namespace plumbrae::testing
