#include "System/Net/Sha256.h"

#include <windows.h>
#include <wincrypt.h>

#include <cstdint>
#include <vector>

#include "System/Io/Stream/FileStream.h"
#include "System/Win32/Handle.h"

namespace Lm {
namespace System {
namespace Net {

bool ComputeFileSha256(IO::Stream::CStream& stream, unsigned char out[32])
{
    const std::uint32_t kBlock = 8192;
    Win32::CCryptProvider context;
    if (CryptAcquireContextW(context.Receive(), nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT) != TRUE)
        return false;
    Win32::CCryptHash hash;
    if (CryptCreateHash(context.Get(), CALG_SHA_256, 0, 0, hash.Receive()) != TRUE)
        return false;
    std::vector<unsigned char> buffer(kBlock);
    for (;;) {
        std::uint32_t n = stream.Read(buffer.data(), kBlock);
        if (n == 0)
            break;
        if (CryptHashData(hash.Get(), buffer.data(), n, 0) != TRUE)
            return false;
        if (n != kBlock)
            break;
    }
    DWORD length = 32;
    if (CryptGetHashParam(hash.Get(), HP_HASHVAL, out, &length, 0) != TRUE || length != 32)
        return false;
    return true;
}

bool ComputeFileSha256(const std::wstring& path, unsigned char out[32])
{
    IO::Stream::CFileStream stream(path, IO::Stream::FileMode::Open, IO::Stream::FileAccess::Read, FILE_SHARE_READ,
                                   FILE_ATTRIBUTE_NORMAL);
    return ComputeFileSha256(stream, out);
}

} // namespace Net
} // namespace System
} // namespace Lm
