// Declared colours: the names a scene gives to colours with `declare`, looked up by `#name`.
// The list runs from the newest declaration to the oldest, so a later declaration of a name hides
// the earlier one. It lives only while the scene is read.
#pragma once

#include "math/vector.h"

struct ColorEntry {
    ColorEntry* next;  // the entry declared before this one
    char name[64];     // at most 63 characters
    Color color;
};

inline constexpr int maxColorNameLength = 63;

extern ColorEntry* myColorList;

// Puts the entry at the head of the list.
void addColorToList(ColorEntry** head, ColorEntry* entry);
// Frees every entry; the head is null afterwards. Returns the number freed.
int freeColorList(ColorEntry** head);
// The newest entry of that name, or null.
const ColorEntry* findColor(const ColorEntry* head, const char* name);
