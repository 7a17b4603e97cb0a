#pragma once

#include "platform/cp1251.h"

namespace files {

using platform::fromCp1251;
using platform::toCp1251;

} // namespace files
