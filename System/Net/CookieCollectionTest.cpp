#include "System/Net/CookieCollection.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "System/Exception.h"
#include "System/Net/CookieContainer.h"

using Lm::System::Net::CCookieCollection;
using Lm::System::Net::CCookieContainer;
using Lm::System::Net::CUri;

namespace {

std::vector<std::pair<std::string, std::string>> Parse(std::string text)
{
    CCookieCollection cookies;
    cookies.AddCookiesFromBuffer(&text[0]);
    std::vector<std::pair<std::string, std::string>> out;
    for (size_t i = 0; i < cookies.GetCount(); ++i)
        out.emplace_back(cookies.GetAt(i)->GetName(), cookies.GetAt(i)->GetValue());
    return out;
}

using Pairs = std::vector<std::pair<std::string, std::string>>;

TEST(CookieCollectionTest, splits_the_table_of_cookie_texts)
{
    struct Case {
        const char* text;
        Pairs cookies;
    } cases[] = {
        {" a=1; b = 2;c", {{"a", "1"}, {"b ", "2"}}},
        {"", {}},
        {"x=", {{"x", ""}}},
        {"=v", {{"", "v"}}},
        {"\tn=\tv\t;;m=1=2", {{"n", "v\t"}, {"m", "1=2"}}},
        {"s=1;s=2;", {{"s", "1"}, {"s", "2"}}},
        {"no-equals-at-all", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(c.cookies, Parse(c.text));
    }
}

TEST(CookieCollectionTest, get_at_the_count_is_null_and_clear_empties)
{
    CCookieCollection cookies;
    std::string text = "a=1;b=2";
    cookies.AddCookiesFromBuffer(&text[0]);
    ASSERT_EQ(2u, cookies.GetCount());
    EXPECT_EQ(nullptr, cookies.GetAt(2));
    EXPECT_NE(nullptr, cookies.GetAt(1));
    cookies.Clear();
    EXPECT_EQ(0u, cookies.GetCount());
    EXPECT_EQ(nullptr, cookies.GetAt(0));
}

TEST(CookieCollectionTest, a_null_buffer_throws)
{
    CCookieCollection cookies;
    try {
        cookies.AddCookiesFromBuffer(nullptr);
        FAIL() << "no exception";
    } catch (const Lm::System::CException& e) {
        EXPECT_NE(std::wstring::npos, e.ToString().find(L"Buffer cannot be nullptr"));
    }
}

TEST(CookieContainerTest, keeps_one_collection_per_host)
{
    CCookieContainer container;
    CUri a("http://Host.Example/x"), b("https://host.example:8443/y"), c("http://other/");
    EXPECT_EQ(nullptr, container.FindCollection(a));
    CCookieCollection& first = container.GetOrCreateCollection(a);
    EXPECT_EQ(&first, &container.GetOrCreateCollection(b));   // host names compare after lower-casing
    EXPECT_EQ(&first, container.FindCollection(b));
    EXPECT_EQ(nullptr, container.FindCollection(c));
}

} // namespace
