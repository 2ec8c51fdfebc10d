#include "object_table.h"

#include <gtest/gtest.h>

#include <map>
#include <random>

namespace passes {
namespace {

// The table against a map, through inserts in any order, lookups near and
// far from the last hit, and removals.
TEST(ObjectTable, AgreesWithAMapUnderAnyOrderOfUse) {
  ObjectTable table;
  std::map<std::uint32_t, std::uint32_t> model;
  std::mt19937 random(7);
  for (int step = 0; step < 20000; ++step) {
    const std::uint32_t id = random() % 500;
    switch (random() % 4) {
      case 0:
        if (!model.count(id)) {
          CachedObject o;
          o.id = id;
          o.size = id * 3 + 1;
          EXPECT_EQ(table.insert(std::move(o)).id, id);
          model[id] = id * 3 + 1;
        }
        break;
      case 1:
        EXPECT_EQ(table.remove(id), model.erase(id) == 1);
        break;
      default: {
        CachedObject* found = table.find(id);
        ASSERT_EQ(found != nullptr, model.count(id) == 1) << id;
        if (found) {
          EXPECT_EQ(found->size, model[id]);
        }
      }
    }
    ASSERT_EQ(table.size(), model.size());
  }
  // Ascending walks, the producer's usual order.
  for (const auto& [id, size] : model) ASSERT_EQ(table.find(id)->size, size);
  table.clear();
  EXPECT_EQ(table.find(model.begin()->first), nullptr);
}

}  // namespace
}  // namespace passes
