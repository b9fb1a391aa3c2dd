// The page's external object: Invoke's checks and calls, names and type information, and the
// answers it gives the control as its UI handler.
#include <gtest/gtest.h>

#include <exdisp.h>
#include <mshtmhst.h>

#include <string>
#include <vector>

#include "ControlUIHandler.h"
#include "System/HTMLWindow/HTMLBase.h"
#include "System/HTMLWindow/HTMLDispatch.h"
#include "System/RefPtr.h"

using namespace Lm::System::HTMLWindow;

namespace {

// A window that never creates its host window: the external object's owner.
class CRecordingWindow : public CHTMLBase {
public:
    explicit CRecordingWindow(CHTMLDispatch* external) : CHTMLBase(external) {}
    void OnClose() override { ++closes; }
    int closes = 0;
};

class CObserver : public Lm::System::CSignalObserver {
public:
    CObserver(const std::wstring& tag, std::vector<std::wstring>& calls) : m_tag(tag), m_calls(calls) {}
    void OnSetEvent(CHTMLBase* window, DISPPARAMS* params, std::wstring* result)
    {
        std::wstring name = params && params->cArgs > 0 && V_VT(&params->rgvarg[0]) == VT_BSTR
                                ? V_BSTR(&params->rgvarg[0])
                                : L"?";
        m_calls.push_back(m_tag + L":" + name + (window ? L"" : L" (no window)"));
        *result += m_tag;
    }

private:
    std::wstring m_tag;
    std::vector<std::wstring>& m_calls;
};

// Arguments in call order; stored last first as IDispatch passes them.
class CArguments {
public:
    CArguments() = default;
    CArguments(const CArguments&) = delete;
    CArguments& operator=(const CArguments&) = delete;
    ~CArguments()
    {
        for (VARIANT& value : m_values)
            VariantClear(&value);
    }
    CArguments& Text(const wchar_t* text)
    {
        VARIANT value;
        VariantInit(&value);
        V_VT(&value) = VT_BSTR;
        V_BSTR(&value) = SysAllocString(text);
        m_values.insert(m_values.begin(), value);
        return *this;
    }
    CArguments& Number(LONG number)
    {
        VARIANT value;
        VariantInit(&value);
        V_VT(&value) = VT_I4;
        V_I4(&value) = number;
        m_values.insert(m_values.begin(), value);
        return *this;
    }
    DISPPARAMS* Params()
    {
        m_params.rgvarg = m_values.empty() ? nullptr : m_values.data();
        m_params.cArgs = static_cast<UINT>(m_values.size());
        m_params.rgdispidNamedArgs = nullptr;
        m_params.cNamedArgs = 0;
        return &m_params;
    }

private:
    std::vector<VARIANT> m_values;
    DISPPARAMS m_params = {};
};

class HTMLDispatchTest : public testing::Test {
protected:
    void SetUp() override
    {
        CoInitialize(nullptr);
        dispatch = new CHTMLDispatch();
        dispatch->AddRef();
        window = new CRecordingWindow(dispatch);
    }
    void TearDown() override
    {
        delete window;
        dispatch->Release();
        CoUninitialize();
    }

    HRESULT Call(DISPID id, DISPPARAMS* params, VARIANT* result = nullptr, UINT* argumentError = nullptr,
                 WORD flags = DISPATCH_METHOD)
    {
        return dispatch->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, params, result, nullptr, argumentError);
    }

    std::wstring GetValue(const wchar_t* key)
    {
        CArguments arguments;
        arguments.Text(key);
        VARIANT result;
        VariantInit(&result);
        EXPECT_EQ(S_OK, Call(kDispIdGetValue, arguments.Params(), &result));
        EXPECT_EQ(VT_BSTR, V_VT(&result));
        std::wstring text = V_BSTR(&result) ? V_BSTR(&result) : L"";
        VariantClear(&result);
        return text;
    }

    CHTMLDispatch* dispatch = nullptr;
    CRecordingWindow* window = nullptr;
};

struct InvokeCase {
    const char* name;
    DISPID dispId;
    WORD flags;
    int arguments;        // -1: no DISPPARAMS at all; -2: a count of 1 without an array
    bool numberFirst;     // first argument (in call order) a number
    bool numberLast;      // last argument a number
    bool namedArgument;
    bool otherInterface;
    HRESULT expected;
    UINT argumentError;   // checked when the result is DISP_E_TYPEMISMATCH
};

const InvokeCase kInvokeCases[] = {
    {"interface other than IID_NULL", kDispIdGetValue, DISPATCH_METHOD, 1, false, false, false, true,
     DISP_E_UNKNOWNINTERFACE, 0},
    {"property get only", kDispIdGetValue, DISPATCH_PROPERTYGET, 1, false, false, false, false,
     DISP_E_MEMBERNOTFOUND, 0},
    {"dispid 4", 4, DISPATCH_METHOD, 1, false, false, false, false, DISP_E_MEMBERNOTFOUND, 0},
    {"dispid -1", -1, DISPATCH_METHOD, 0, false, false, false, false, DISP_E_MEMBERNOTFOUND, 0},
    {"named argument", kDispIdSetValue, DISPATCH_METHOD, 2, false, false, true, false, DISP_E_NONAMEDARGS, 0},
    {"count without array", kDispIdGetValue, DISPATCH_METHOD, -2, false, false, false, false,
     DISP_E_PARAMNOTOPTIONAL, 0},
    {"GetValue with two arguments", kDispIdGetValue, DISPATCH_METHOD, 2, false, false, false, false,
     DISP_E_BADPARAMCOUNT, 0},
    {"GetValue of a number", kDispIdGetValue, DISPATCH_METHOD, 1, true, true, false, false, DISP_E_TYPEMISMATCH, 0},
    {"SetValue with a number value", kDispIdSetValue, DISPATCH_METHOD, 2, false, true, false, false,
     DISP_E_TYPEMISMATCH, 0},
    {"SetValue with a number key", kDispIdSetValue, DISPATCH_METHOD, 2, true, false, false, false,
     DISP_E_TYPEMISMATCH, 1},
    {"GetValue without arguments", kDispIdGetValue, DISPATCH_METHOD, 0, false, false, false, false,
     DISP_E_BADPARAMCOUNT, 0},
    {"GetValue without DISPPARAMS", kDispIdGetValue, DISPATCH_METHOD, -1, false, false, false, false,
     DISP_E_BADPARAMCOUNT, 0},
    {"SetValue with one argument", kDispIdSetValue, DISPATCH_METHOD, 1, false, false, false, false,
     DISP_E_BADPARAMCOUNT, 0},
    {"SetValue without arguments", kDispIdSetValue, DISPATCH_METHOD, 0, false, false, false, false,
     DISP_E_BADPARAMCOUNT, 0},
    {"Close with an argument", kDispIdClose, DISPATCH_METHOD, 1, false, false, false, false, DISP_E_BADPARAMCOUNT, 0},
    {"Close", kDispIdClose, DISPATCH_METHOD, 0, false, false, false, false, S_OK, 0},
    {"Close called as method and property get", kDispIdClose, DISPATCH_METHOD | DISPATCH_PROPERTYGET, 0, false,
     false, false, false, S_OK, 0},
    {"SetEvent with a number", kDispIdSetEvent, DISPATCH_METHOD, 1, true, true, false, false, S_OK, 0},
    {"SetEvent with three arguments", kDispIdSetEvent, DISPATCH_METHOD, 3, false, false, false, false, S_OK, 0},
    {"SetEvent without arguments", kDispIdSetEvent, DISPATCH_METHOD, 0, false, false, false, false, S_OK, 0},
    {"SetEvent without DISPPARAMS", kDispIdSetEvent, DISPATCH_METHOD, -1, false, false, false, false, S_OK, 0},
    {"GetValue", kDispIdGetValue, DISPATCH_METHOD, 1, false, false, false, false, S_OK, 0},
    {"SetValue", kDispIdSetValue, DISPATCH_METHOD, 2, false, false, false, false, S_OK, 0},
};

} // namespace

TEST_F(HTMLDispatchTest, invoke_checks_in_order_and_answers_with_their_error)
{
    for (const InvokeCase& c : kInvokeCases) {
        SCOPED_TRACE(c.name);
        CArguments arguments;
        for (int i = 0; i < c.arguments; ++i) {
            const bool number = (i == 0 && c.numberFirst) || (i == c.arguments - 1 && c.numberLast);
            if (number)
                arguments.Number(7);
            else
                arguments.Text(L"text");
        }
        DISPPARAMS* params = c.arguments == -1 ? nullptr : arguments.Params();
        DISPPARAMS withoutArray = {nullptr, nullptr, 1, 0};
        if (c.arguments == -2)
            params = &withoutArray;
        DISPID named = DISPID_PROPERTYPUT;
        if (c.namedArgument) {
            params->rgdispidNamedArgs = &named;
            params->cNamedArgs = 1;
        }
        UINT argumentError = 99;
        const HRESULT hr = dispatch->Invoke(c.dispId, c.otherInterface ? IID_IDispatch : IID_NULL,
                                            LOCALE_USER_DEFAULT, c.flags, params, nullptr, nullptr, &argumentError);
        EXPECT_EQ(c.expected, hr) << std::hex << hr;
        if (c.expected == DISP_E_TYPEMISMATCH) {
            EXPECT_EQ(c.argumentError, argumentError);
        }
    }
}

TEST_F(HTMLDispatchTest, close_reaches_the_owner_once_per_call)
{
    CArguments none;
    EXPECT_EQ(S_OK, Call(kDispIdClose, none.Params()));
    EXPECT_EQ(S_OK, Call(kDispIdClose, nullptr));
    EXPECT_EQ(2, window->closes);
}

TEST_F(HTMLDispatchTest, values_round_trip_by_exact_key)
{
    EXPECT_EQ(L"", GetValue(L"LMLocale"));
    CArguments set;
    set.Text(L"LMLocale").Text(L"de");
    EXPECT_EQ(S_OK, Call(kDispIdSetValue, set.Params()));
    EXPECT_EQ(L"de", GetValue(L"LMLocale"));
    EXPECT_EQ(L"", GetValue(L"lmlocale"));
    EXPECT_EQ(L"de", window->GetValue(L"LMLocale"));

    window->SetValue(L"LMLocale", L"fr");
    EXPECT_EQ(L"fr", GetValue(L"LMLocale"));
    window->SetValue(L"Empty", L"");
    EXPECT_EQ(L"", GetValue(L"Empty"));
}

TEST_F(HTMLDispatchTest, get_value_without_a_result_wanted_still_succeeds)
{
    CArguments arguments;
    arguments.Text(L"anything");
    EXPECT_EQ(S_OK, Call(kDispIdGetValue, arguments.Params(), nullptr));
}

TEST_F(HTMLDispatchTest, set_event_calls_observers_in_connection_order_and_returns_their_text)
{
    VARIANT result;
    VariantInit(&result);
    CArguments first;
    first.Text(L"HtmlInstallLoaded");
    EXPECT_EQ(S_OK, Call(kDispIdSetEvent, first.Params(), &result));
    EXPECT_EQ(VT_BSTR, V_VT(&result));
    EXPECT_EQ(0u, SysStringLen(V_BSTR(&result))) << "no observer: an empty text";
    VariantClear(&result);

    std::vector<std::wstring> calls;
    CObserver a(L"a", calls);
    CObserver b(L"b", calls);
    window->GetSetEventSignal().Connect(&a, &CObserver::OnSetEvent);
    window->GetSetEventSignal().Connect(&b, &CObserver::OnSetEvent);
    CArguments second;
    second.Text(L"HtmlInstallBegin");
    EXPECT_EQ(S_OK, Call(kDispIdSetEvent, second.Params(), &result));
    EXPECT_EQ((std::vector<std::wstring>{L"a:HtmlInstallBegin", L"b:HtmlInstallBegin"}), calls);
    EXPECT_EQ(std::wstring(L"ab"), std::wstring(V_BSTR(&result)));
    VariantClear(&result);
}

TEST_F(HTMLDispatchTest, calls_after_the_window_went_do_nothing)
{
    delete window;
    window = nullptr;
    EXPECT_EQ(nullptr, dispatch->GetOwner());
    CArguments arguments;
    arguments.Text(L"LMLocale");
    VARIANT result;
    VariantInit(&result);
    EXPECT_EQ(S_OK, Call(kDispIdGetValue, arguments.Params(), &result));
    EXPECT_EQ(0u, SysStringLen(V_BSTR(&result)));
    VariantClear(&result);
    EXPECT_EQ(S_OK, Call(kDispIdClose, nullptr));
    CArguments event;
    event.Text(L"HtmlInstallFinish");
    EXPECT_EQ(S_OK, Call(kDispIdSetEvent, event.Params()));
}

TEST_F(HTMLDispatchTest, names_give_their_dispids_from_the_type_information)
{
    struct {
        const wchar_t* name;
        DISPID id;
    } const names[] = {{L"Close", 0}, {L"GetValue", 1}, {L"SetValue", 2}, {L"SetEvent", 3}};
    for (const auto& n : names) {
        LPOLESTR name = const_cast<LPOLESTR>(n.name);
        DISPID id = -7;
        EXPECT_EQ(S_OK, dispatch->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id)) << n.name;
        EXPECT_EQ(n.id, id) << n.name;
    }
    LPOLESTR unknown = const_cast<LPOLESTR>(L"Navigate");
    DISPID id = 0;
    EXPECT_EQ(DISP_E_UNKNOWNNAME, dispatch->GetIDsOfNames(IID_NULL, &unknown, 1, LOCALE_USER_DEFAULT, &id));
    LPOLESTR known = const_cast<LPOLESTR>(L"GetValue");
    EXPECT_EQ(DISP_E_UNKNOWNINTERFACE, dispatch->GetIDsOfNames(IID_IDispatch, &known, 1, LOCALE_USER_DEFAULT, &id));

    LPOLESTR withParameters[] = {const_cast<LPOLESTR>(L"SetValue"), const_cast<LPOLESTR>(L"Key"),
                                 const_cast<LPOLESTR>(L"Value")};
    DISPID ids[3] = {-7, -7, -7};
    EXPECT_EQ(S_OK, dispatch->GetIDsOfNames(IID_NULL, withParameters, 3, LOCALE_USER_DEFAULT, ids));
    EXPECT_EQ(2, ids[0]);
    EXPECT_EQ(0, ids[1]);
    EXPECT_EQ(1, ids[2]);
}

TEST_F(HTMLDispatchTest, type_information_is_one_object_at_index_zero)
{
    UINT count = 0;
    EXPECT_EQ(S_OK, dispatch->GetTypeInfoCount(&count));
    EXPECT_EQ(1u, count);
    EXPECT_EQ(S_OK, dispatch->GetTypeInfoCount(nullptr));

    ITypeInfo* info = nullptr;
    ASSERT_EQ(S_OK, dispatch->GetTypeInfo(0, LOCALE_USER_DEFAULT, &info));
    ASSERT_NE(nullptr, info);
    info->Release();

    info = reinterpret_cast<ITypeInfo*>(1);
    EXPECT_EQ(DISP_E_BADINDEX, dispatch->GetTypeInfo(1, LOCALE_USER_DEFAULT, &info));
    EXPECT_EQ(nullptr, info);
    EXPECT_EQ(S_OK, dispatch->GetTypeInfo(0, LOCALE_USER_DEFAULT, nullptr));
}

TEST_F(HTMLDispatchTest, query_interface_answers_its_three_interfaces_only)
{
    for (const IID* iid : {&IID_IUnknown, &IID_IDispatch, &IID_IDocHostUIHandlerDispatch}) {
        void* object = nullptr;
        EXPECT_EQ(S_OK, dispatch->QueryInterface(*iid, &object));
        EXPECT_EQ(static_cast<IDocHostUIHandlerDispatch*>(dispatch), object);
        static_cast<IUnknown*>(object)->Release();
    }
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(E_NOINTERFACE, dispatch->QueryInterface(IID_IDocHostUIHandler, &object));
    EXPECT_EQ(nullptr, object);
    EXPECT_EQ(E_POINTER, dispatch->QueryInterface(IID_IUnknown, nullptr));
}

// The external object goes exactly when its last holder lets it go: the window, the host window
// (whose UI handler it is) and the page (window.external) each hold it, in any order of leaving.
// The control's questions on UI matters are asked through the host (AxWindowTest).
class CCountedDispatch : public CHTMLDispatch {
public:
    explicit CCountedDispatch(int& destroyed) : m_destroyed(destroyed) {}
    ~CCountedDispatch() override { ++m_destroyed; }

private:
    int& m_destroyed;
};

TEST(HTMLDispatchLifetime, the_object_lives_while_the_window_the_host_or_the_page_holds_it)
{
    CoInitialize(nullptr);
    for (bool pageLeavesLast : {true, false}) {
        SCOPED_TRACE(pageLeavesLast ? "the page lets go last" : "the window goes last");
        int destroyed = 0;
        Lm::System::CRefPtr<CHTMLBase> window(new CHTMLBase(new CCountedDispatch(destroyed)));
        window->Init(nullptr, RECT{0, 0, 200, 100}, WS_POPUP, 0);

        // window.external as the page gets it: through the control's client site.
        Lm::System::Win32::CComPtrT<IWebBrowser2> browser(window->GetBrowser());
        Lm::System::Win32::CComPtrT<IDocHostUIHandler> handler = LmTest::ControlUIHandler(browser.Get());
        ASSERT_TRUE(handler.IsValid());
        IDispatch* external = nullptr;
        EXPECT_EQ(S_OK, handler->GetExternal(&external));
        handler.Close();
        browser.Close();
        ASSERT_NE(nullptr, external);

        window->Destroy(); // the host lets go
        EXPECT_EQ(0, destroyed);
        if (pageLeavesLast) {
            window = nullptr;
            EXPECT_EQ(0, destroyed) << "the page still holds window.external";
            external->Release();
        } else {
            external->Release();
            EXPECT_EQ(0, destroyed) << "the window still holds it";
            window = nullptr;
        }
        EXPECT_EQ(1, destroyed);
    }
    CoUninitialize();
}

TEST(AllocString, copies_the_text_into_a_new_string)
{
    BSTR text = AllocString(L"Close");
    EXPECT_EQ(5u, SysStringLen(text));
    EXPECT_STREQ(L"Close", text);
    SysFreeString(text);
    BSTR empty = AllocString(L"");
    ASSERT_NE(nullptr, empty);
    EXPECT_EQ(0u, SysStringLen(empty));
    SysFreeString(empty);
}
