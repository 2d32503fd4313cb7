#pragma once

#include <cstddef>

// A sort command of a list view: the menu command, the key it sorts by and its direction.
struct CTavloSortCommand {
    int id;
    int key;
    int ascending;
};

// The entry of command id in a view's table, or nullptr.
template <size_t N>
const CTavloSortCommand* TavloFindSortCommand(const CTavloSortCommand (&commands)[N], int id) {
    for (const CTavloSortCommand& c : commands)
        if (c.id == id)
            return &c;
    return nullptr;
}
