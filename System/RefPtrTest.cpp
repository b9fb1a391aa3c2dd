#include "System/RefPtr.h"

#include <gtest/gtest.h>

using Lm::System::CRefPtr;

namespace {

class CCounted : public Lm::System::CObject {
public:
    explicit CCounted(int* destroyed) : m_destroyed(destroyed) {}
    ~CCounted() override { ++*m_destroyed; }

private:
    int* m_destroyed;
};

TEST(RefPtrTest, new_object_starts_at_zero_and_pointer_adds_one)
{
    int destroyed = 0;
    auto* object = new CCounted(&destroyed);
    EXPECT_EQ(0, object->GetReferenceCount());
    {
        CRefPtr<CCounted> p(object);
        EXPECT_EQ(1, object->GetReferenceCount());
        CRefPtr<CCounted> q = p;
        EXPECT_EQ(2, object->GetReferenceCount());
    }
    EXPECT_EQ(1, destroyed) << "the last release destroys the object exactly once";
}

TEST(RefPtrTest, assigning_the_held_pointer_changes_no_count)
{
    int destroyed = 0;
    CRefPtr<CCounted> p(new CCounted(&destroyed));
    p = p.Get();
    EXPECT_EQ(1, p->GetReferenceCount());
    CRefPtr<CCounted>& alias = p;
    p = alias;
    EXPECT_EQ(1, p->GetReferenceCount());
    EXPECT_EQ(0, destroyed);
}

TEST(RefPtrTest, assigning_an_object_kept_alive_only_by_the_old_pointer_is_safe)
{
    // The new reference is taken before the old one goes.
    class CHolder : public Lm::System::CObject {
    public:
        CRefPtr<CHolder> next;
    };
    CRefPtr<CHolder> p(new CHolder);
    p->next = new CHolder;
    CHolder* child = p->next.Get();
    p = p->next;
    EXPECT_EQ(child, p.Get());
    EXPECT_EQ(1, p->GetReferenceCount());
}

TEST(RefPtrTest, reassigning_releases_the_old_object)
{
    int first = 0, second = 0;
    CRefPtr<CCounted> p(new CCounted(&first));
    p = new CCounted(&second);
    EXPECT_EQ(1, first);
    EXPECT_EQ(0, second);
    p = nullptr;
    EXPECT_EQ(1, second);
    EXPECT_FALSE(p);
}

TEST(RefPtrTest, object_never_held_is_destroyed_by_its_owner)
{
    int destroyed = 0;
    {
        CCounted onStack(&destroyed);
        EXPECT_EQ(0, onStack.GetReferenceCount());
    }
    EXPECT_EQ(1, destroyed);
}

TEST(RefPtrTest, moved_pointer_transfers_its_reference)
{
    int destroyed = 0;
    CRefPtr<CCounted> p = Lm::System::MakeRef<CCounted>(&destroyed);
    CRefPtr<CCounted> q(std::move(p));
    EXPECT_FALSE(p);
    EXPECT_EQ(1, q->GetReferenceCount());
    CRefPtr<Lm::System::CObject> base = q;
    EXPECT_EQ(2, q->GetReferenceCount());
    EXPECT_TRUE(base == q);
}

} // namespace
