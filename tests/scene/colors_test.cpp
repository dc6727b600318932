#include "scene/colors.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

namespace {

ColorEntry* entry(const char* name, double red) {
    auto* e = static_cast<ColorEntry*>(std::calloc(1, sizeof(ColorEntry)));
    std::strcpy(e->name, name);
    e->color = {red, 0, 0};
    return e;
}

TEST(ColorList, NewestDeclarationComesFirstAndHidesOlderOnes) {
    ColorEntry* list = nullptr;
    addColorToList(&list, entry("red", 1.0));
    EXPECT_EQ(list->next, nullptr);
    addColorToList(&list, entry("blue", 0.0));
    addColorToList(&list, entry("red", 0.5));
    EXPECT_STREQ(list->name, "red");
    EXPECT_STREQ(list->next->name, "blue");
    EXPECT_EQ(findColor(list, "red")->color.red, 0.5);
    EXPECT_EQ(findColor(list, "Red"), nullptr);
    EXPECT_EQ(freeColorList(&list), 3);
    EXPECT_EQ(list, nullptr);
    EXPECT_EQ(freeColorList(&list), 0);
}

}  // namespace
