#include "scene/colors.h"

#include <cstdlib>
#include <cstring>

ColorEntry* myColorList = nullptr;

void addColorToList(ColorEntry** head, ColorEntry* entry) {
    entry->next = *head;
    *head = entry;
}

int freeColorList(ColorEntry** head) {
    int count = 0;
    while (ColorEntry* entry = *head) {
        *head = entry->next;
        std::free(entry);
        ++count;
    }
    return count;
}

const ColorEntry* findColor(const ColorEntry* head, const char* name) {
    for (const ColorEntry* entry = head; entry; entry = entry->next) {
        if (std::strcmp(entry->name, name) == 0) return entry;
    }
    return nullptr;
}
