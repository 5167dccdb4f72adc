// The engine's own name, written as the producer of the files it makes.
#ifndef REPORTENGINE_PDF_ENGINE_INFO_H_
#define REPORTENGINE_PDF_ENGINE_INFO_H_

namespace re {

extern const char kEngineName[];

}  // namespace re

#endif  // REPORTENGINE_PDF_ENGINE_INFO_H_
