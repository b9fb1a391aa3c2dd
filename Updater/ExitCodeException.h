// Carries a result code from deep inside a step of the Updater to its main flow, which alone
// catches it (the progress window's UI thread catches its own). Thrown and caught by reference;
// deliberately not derived from any exception type, so that no generic handler takes it.
#pragma once

#include <cstdint>

namespace Lm {
namespace Updater {

class CExitCodeException {
public:
    explicit CExitCodeException(std::int32_t code) : m_code(code) {}
    std::int32_t GetCode() const { return m_code; }

private:
    std::int32_t m_code;
};

} // namespace Updater
} // namespace Lm
