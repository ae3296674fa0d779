#pragma once
// Node and attribute records: allocation, appending and freeing. Everything
// here fails soft (null / false) instead of throwing.

#include "support/pug/pug.h"

namespace pug {
namespace tree {

// A record of the kind with the initial arrays that kind gets; null when out
// of memory. The parent is left null.
xml_node_struct* new_node(xml_node_kind kind);
// Appends a new node to parent; null (and nothing appended) when out of memory.
xml_node_struct* append_child(xml_node_struct* parent, xml_node_kind kind, unsigned growby);
// Appends a zeroed attribute record; null when out of memory.
xml_attribute_struct* append_attribute(xml_node_struct* node, unsigned growby);
// Frees one record with its attributes, arrays and owned strings (not its
// children).
void free_node(xml_node_struct* node);
// A heap copy of text (freed with the record when marked not in place).
wchar_t* copy_text(const wchar_t* text, size_t length);

// Fault injection for tests: after `count` more allocations every allocation
// of the tree fails, until called again; a negative count lifts the limit.
void limit_allocations(long long count);

}  // namespace tree
}  // namespace pug
