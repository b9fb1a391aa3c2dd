#include "System/Net/MultiStreamDownload/WrapException.h"

#include <exception>
#include <string>

namespace Lm { namespace System { namespace Net { namespace MultiStreamDownload {

CRefPtr<CException> WrapCurrentException(const char* text, const char* sourceFile, int line, const char* function)
{
    try {
        throw;
    } catch (const CException& e) {
        return CRefPtr<CException>(new CException(e, text, std::char_traits<char>::length(text), sourceFile, line,
                                                  function));
    } catch (const std::exception& e) {
        return CRefPtr<CException>(new CException(std::string("(std::exception)  :") + text + "  :" + e.what(),
                                                  sourceFile, line, function));
    } catch (...) {
        return CRefPtr<CException>(new CException(std::string("(unknown exception)  :") + text, sourceFile, line,
                                                  function));
    }
}

} } } } // namespace Lm::System::Net::MultiStreamDownload
