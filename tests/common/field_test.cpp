#include <gtest/gtest.h>

#include "common/convertor.h"
#include "common/map.h"

namespace {

class Choice : public Object {
public:
  Choice(uint32_t id, std::string name) {
    setId(id);
    setName(std::move(name));
  }
};

Ref<AMap> choices() {
  Ref<AMap> map = makeRef<AMap>();
  for (auto [id, name] : {std::pair{0u, ""}, {1u, "selected"}, {2u, "missing"}, {3u, "too big"}, {7u, "42"}})
    map->insert(makeRef<Choice>(id, name).get());
  return map;
}

TEST(SelectionConvertor, ByNameThenById) {
  Ref<AMap> map = choices();
  Ref<IEnum> e = map->getEnum(nullptr);
  Ref<Convertor> c = selectionConvertor(e.get());
  struct Case {
    const char* text;
    bool valid;
    uint32_t id;  // what fromText leaves
  };
  const Case cases[] = {
      {"missing", true, 2},
      {"", true, 0},           // the empty name is a choice too
      {"42", true, 7},         // a name wins over the same text read as an id
      {"3", true, 3},
      {"9", true, 9},          // read as an id whether or not it names a choice
      {" 5 apples", true, 5},  // "%u" reads what it can
      {"Missing", false, BADID},
      {"gone", false, BADID},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.text);
    EXPECT_EQ(c->isValidText(k.text), k.valid);
    uint32_t id = 1;
    c->fromText(&id, k.text);
    EXPECT_EQ(id, k.id);
  }
  uint32_t missing = 2, gone = 9, none = 5;
  EXPECT_EQ(c->toText(&missing), "missing");
  EXPECT_EQ(c->toText(&gone), "");  // the object is gone: nothing to show
  EXPECT_TRUE(c->isNonDefault(&missing));
  EXPECT_FALSE(c->isNonDefault(&gone));
  c->getDefault(&none);
  EXPECT_EQ(none, 0u);
  EXPECT_EQ(c->describe(), "selection");
  EXPECT_EQ(c->getListeners(), e->getListeners());
  EXPECT_EQ(c->getInterface(int(InterfaceId::Enum)), e.get());
  uint32_t selected = 1, tooBig = 3;
  EXPECT_TRUE(c->less(&missing, &selected));  // by name
  EXPECT_FALSE(c->less(&tooBig, &selected));
}

struct Record : public Object {
  uint32_t size = 0;
  std::string path;
  uint32_t address = 0;
};

TEST(MemberField, ReadsItsMemberThroughTheConvertors) {
  Ref<Record> a = makeRef<Record>(), b = makeRef<Record>();
  a->size = 5000;
  a->path = "b.nsc";
  b->size = 10;
  b->path = "a.nsc";
  Ref<Convertor> bytes = bytesConvertor();
  Ref<MemberField> size = makeRef<MemberField>(NV_MEMBER_OFFSET(Record, size), bytes.get());
  Ref<MemberField> path = makeRef<MemberField>(NV_MEMBER_OFFSET(Record, path), textConvertor(0, uint32_t(-1)).get(),
                                               nullptr, true);
  Ref<MemberField> sizeWithDetail = makeRef<MemberField>(NV_MEMBER_OFFSET(Record, size), bytes.get(),
                                                         numberConvertor(10, 0, uint32_t(-1), 0).get());
  EXPECT_EQ(size->getText(a.get()), "4.9 kB");
  EXPECT_EQ(size->getFullText(a.get()), "4.9 kB");
  EXPECT_EQ(sizeWithDetail->getFullText(a.get()), "5000");
  EXPECT_TRUE(size->less(b.get(), a.get()));
  EXPECT_TRUE(path->less(b.get(), a.get()));
  EXPECT_FALSE(size->isLeftAligned());
  EXPECT_TRUE(path->isLeftAligned());
  EXPECT_EQ(size->getListeners(), nullptr);
  EXPECT_EQ(size->getOffset(), NV_MEMBER_OFFSET(Record, size));
}

}  // namespace
