#include "System/Win32/Handle.h"

#include <gtest/gtest.h>

#include "TestSupport.h"

using namespace Lm::System::Win32;

namespace {

bool IsOpenHandle(HANDLE h)
{
    DWORD flags = 0;
    return ::GetHandleInformation(h, &flags) != FALSE;
}

TEST(HandleTest, guard_closes_its_handle_when_it_goes)
{
    HANDLE raw = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(nullptr, raw);
    {
        CHandleGuard guard(raw);
        EXPECT_TRUE(guard.IsValid());
        EXPECT_TRUE(IsOpenHandle(raw));
    }
    EXPECT_FALSE(IsOpenHandle(raw));
}

TEST(HandleTest, guard_treats_null_and_invalid_handle_value_as_none)
{
    CHandleGuard none;
    EXPECT_FALSE(none.IsValid());
    CHandleGuard invalid(INVALID_HANDLE_VALUE);
    EXPECT_FALSE(invalid.IsValid());
    EXPECT_FALSE(static_cast<bool>(invalid));
}

TEST(HandleTest, detach_gives_up_ownership_and_reset_closes_the_old_handle)
{
    HANDLE first = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE second = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    CHandleGuard guard(first);
    guard.Reset(second);
    EXPECT_FALSE(IsOpenHandle(first));
    EXPECT_EQ(second, guard.Detach());
    EXPECT_FALSE(guard.IsValid());
    EXPECT_TRUE(IsOpenHandle(second));
    ::CloseHandle(second);
}

TEST(HandleTest, move_transfers_the_handle)
{
    HANDLE raw = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    CHandleGuard a(raw);
    CHandleGuard b(std::move(a));
    EXPECT_FALSE(a.IsValid());
    EXPECT_EQ(raw, b.Get());
    CHandleGuard c;
    c = std::move(b);
    EXPECT_EQ(raw, c.Get());
    EXPECT_TRUE(IsOpenHandle(raw));
}

TEST(HandleTest, find_handle_closes_a_search)
{
    LmTest::ScratchFolder folder(L"lmhandle");
    LmTest::WriteFileUtf8(folder / L"a.txt", L"a");
    WIN32_FIND_DATAW data;
    Lm::System::IO::CFindHandle find(::FindFirstFileW((folder / L"*").c_str(), &data));
    EXPECT_TRUE(find.IsValid());
    Lm::System::IO::CFindHandle none(INVALID_HANDLE_VALUE);
    EXPECT_FALSE(none.IsValid());
}

TEST(HandleTest, registry_key_handle_receives_and_closes_a_key)
{
    CRegKeyHandle key;
    ASSERT_EQ(ERROR_SUCCESS, ::RegOpenKeyExW(HKEY_CURRENT_USER, L"Software", 0, KEY_READ, key.Receive()));
    EXPECT_TRUE(key.IsValid());
    key.Close();
    EXPECT_FALSE(key.IsValid());
}

class CFakeUnknown : public IUnknown {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override
    {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override { return --references; }
    ULONG references = 1;
};

TEST(HandleTest, com_pointer_releases_its_reference)
{
    CFakeUnknown object;
    {
        CComPtrT<IUnknown> p(&object);
        EXPECT_TRUE(p.IsValid());
        p->AddRef();
        EXPECT_EQ(2u, object.references);
    }
    EXPECT_EQ(1u, object.references);
}

// An object whose last Release calls back into its holder's code, as a COM control does when it
// tells its site that it went: the holder no longer names it by then (it is empty, or holds what
// replaced it), so the callback cannot take it for a live object.
class CCallingBack : public IUnknown {
public:
    explicit CCallingBack(CComPtrT<IUnknown>& holder) : m_holder(holder) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        if (--references == 0) {
            heldDuringRelease = m_holder.Get();
            if (heldDuringRelease == this)
                m_holder.Detach();   // what the callback does to a holder that still names it
        }
        return references;
    }
    ULONG references = 1;
    IUnknown* heldDuringRelease = reinterpret_cast<IUnknown*>(1);

private:
    CComPtrT<IUnknown>& m_holder;
};

TEST(HandleTest, a_release_that_calls_back_finds_the_holder_empty)
{
    CComPtrT<IUnknown> holder;
    CCallingBack object(holder);
    holder.Reset(&object);
    holder.Close();
    EXPECT_EQ(0u, object.references) << "released once";
    EXPECT_EQ(nullptr, object.heldDuringRelease);

    CCallingBack first(holder);
    CFakeUnknown second;
    holder.Reset(&first);
    holder.Reset(&second);
    EXPECT_EQ(0u, first.references);
    EXPECT_EQ(&second, first.heldDuringRelease) << "the new value is held while the old one goes";
    EXPECT_EQ(&second, holder.Get());
    holder.Detach();
}

TEST(HandleTest, bstr_frees_its_string)
{
    CBstr text(SysAllocString(L"text"));
    ASSERT_TRUE(text.IsValid());
    EXPECT_EQ(4u, SysStringLen(text.Get()));
    text.Reset(SysAllocString(L"other"));
    EXPECT_EQ(5u, SysStringLen(text.Get()));
}

} // namespace
