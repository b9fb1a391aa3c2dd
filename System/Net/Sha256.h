// SHA-256 digest of everything a stream yields from its current position, on the CryptoAPI.
#pragma once

#include <string>

#include "System/Io/Stream/Stream.h"

namespace Lm {
namespace System {
namespace Net {

// Reads the stream in blocks of 8192 bytes until a read returns fewer (a short read ends the
// input) and writes the 32 digest bytes to out. False when a CryptoAPI call fails; exceptions
// of the stream's Read pass to the caller, with the crypto handles released.
bool ComputeFileSha256(IO::Stream::CStream& stream, unsigned char out[32]);
// The digest of a whole file, opened for reading and shared for reading only (so nobody writes
// it meanwhile). Throws the stream's CException when the file cannot be opened or read; false
// when a CryptoAPI call fails.
bool ComputeFileSha256(const std::wstring& path, unsigned char out[32]);

} // namespace Net
} // namespace System
} // namespace Lm
