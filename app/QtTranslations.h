#pragma once
// Qt's own texts (the standard buttons, the file dialog and its questions)
// in the window's language, from the translations Qt ships.

namespace gw {

// Russian when `russian`, else Qt's own English.
void useQtTranslations(bool russian);

} // namespace gw
