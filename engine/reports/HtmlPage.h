#pragma once
// The HTML report's style and script, as they stand inside every page.

namespace gw {

extern const char kHtmlStyle[];
extern const char kHtmlScript[];

} // namespace gw
