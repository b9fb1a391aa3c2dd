// The download threads turn whatever escaped one of their steps into one CException that names
// the step: a CException becomes the inner exception of a new one with the step's text, a
// standard exception "(std::exception)  :" + text + "  :" + what(), anything else
// "(unknown exception)  :" + text. Call only inside a catch block.
#pragma once

#include "System/Exception.h"
#include "System/RefPtr.h"

namespace Lm { namespace System { namespace Net { namespace MultiStreamDownload {

CRefPtr<CException> WrapCurrentException(const char* text, const char* sourceFile, int line, const char* function);

} } } } // namespace Lm::System::Net::MultiStreamDownload
