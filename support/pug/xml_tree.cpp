#include "support/pug/xml_tree.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <cwchar>

namespace pug {
namespace tree {
namespace {

std::atomic<long long> g_allocations_left{-1};

bool may_allocate() {
    long long left = g_allocations_left.load();
    while (left >= 0) {
        if (left == 0) return false;
        if (g_allocations_left.compare_exchange_weak(left, left - 1)) return true;
    }
    return true;
}

void* allocate_zeroed(size_t count, size_t size) {
    return may_allocate() ? std::calloc(count, size) : nullptr;
}
void* reallocate(void* block, size_t size) {
    return may_allocate() ? std::realloc(block, size) : nullptr;
}
void* allocate(size_t size) {
    return may_allocate() ? std::malloc(size) : nullptr;
}

// Grows by the growth step, or by half the capacity once that is larger:
// a fixed step alone makes the copying quadratic, and a hostile document
// with a hundred thousand attributes or children would then take minutes.
template <class T>
bool reserve_one(T**& array, std::uint32_t& space, std::uint32_t count, unsigned growby) {
    if (count < space && array) return true;
    std::uint64_t step = growby ? growby : 1;
    if (space / 2 > step) step = space / 2;
    std::uint64_t wanted = static_cast<std::uint64_t>(space) + step;
    if (wanted > UINT32_MAX) wanted = UINT32_MAX;
    if (wanted <= count || wanted > SIZE_MAX / sizeof(T*)) return false;
    T** grown = static_cast<T**>(reallocate(array, static_cast<size_t>(wanted) * sizeof(T*)));
    if (!grown) return false;
    array = grown;
    space = static_cast<std::uint32_t>(wanted);
    return true;
}

}  // namespace

xml_node_struct* new_node(xml_node_kind kind) {
    auto* node = static_cast<xml_node_struct*>(allocate_zeroed(1, sizeof(xml_node_struct)));
    if (!node) return nullptr;
    node->type = kind;
    // A missing first slot is not an error: the array is made on first use.
    bool has_attributes = kind != node_document && kind != node_pcdata && kind != node_cdata &&
                          kind != node_comment && kind != node_include;
    if (has_attributes) {
        node->attribute =
            static_cast<xml_attribute_struct**>(allocate_zeroed(1, sizeof(xml_attribute_struct*)));
        node->attribute_space = node->attribute ? 1 : 0;
    }
    if (kind == node_document || kind == node_element || kind == node_doctype) {
        node->child = static_cast<xml_node_struct**>(allocate_zeroed(1, sizeof(xml_node_struct*)));
        node->child_space = node->child ? 1 : 0;
    }
    return node;
}

xml_node_struct* append_child(xml_node_struct* parent, xml_node_kind kind, unsigned growby) {
    if (!parent || !reserve_one(parent->child, parent->child_space, parent->children, growby)) return nullptr;
    xml_node_struct* node = new_node(kind);
    if (!node) return nullptr;
    node->parent = parent;
    parent->child[parent->children++] = node;
    return node;
}

xml_attribute_struct* append_attribute(xml_node_struct* node, unsigned growby) {
    if (!node || !reserve_one(node->attribute, node->attribute_space, node->attributes, growby))
        return nullptr;
    auto* attr = static_cast<xml_attribute_struct*>(allocate_zeroed(1, sizeof(xml_attribute_struct)));
    if (!attr) return nullptr;
    node->attribute[node->attributes++] = attr;
    return attr;
}

void free_node(xml_node_struct* node) {
    if (!node) return;
    for (std::uint32_t i = 0; i < node->attributes; ++i) {
        xml_attribute_struct* attr = node->attribute[i];
        if (!attr) continue;
        if (!attr->name_insitu) std::free(attr->name);
        if (!attr->value_insitu) std::free(attr->value);
        std::free(attr);
    }
    std::free(node->attribute);
    std::free(node->child);
    if (!node->name_insitu) std::free(node->name);
    if (!node->value_insitu) std::free(node->value);
    std::free(node);
}

wchar_t* copy_text(const wchar_t* text, size_t length) {
    if (length >= SIZE_MAX / sizeof(wchar_t)) return nullptr;
    auto* copy = static_cast<wchar_t*>(allocate((length + 1) * sizeof(wchar_t)));
    if (!copy) return nullptr;
    if (length) std::memcpy(copy, text, length * sizeof(wchar_t));
    copy[length] = L'\0';
    return copy;
}

void limit_allocations(long long count) {
    g_allocations_left.store(count < 0 ? -1 : count);
}

}  // namespace tree

// Bottom-up without recursion: always empty the last child first, climbing
// back through the parent pointers; the document node (its own parent) goes
// last. Document depth costs neither stack nor memory.
void free_tree(xml_node_struct* root) {
    if (!root) return;
    xml_node_struct* node = root;
    for (;;) {
        if (node->children > 0) {
            xml_node_struct* last = node->child[node->children - 1];
            if (last->children > 0) {
                node = last;
                continue;
            }
            tree::free_node(last);
            --node->children;
            continue;
        }
        if (node == root || node->parent == node || !node->parent) {
            tree::free_node(node);
            return;
        }
        xml_node_struct* parent = node->parent;
        tree::free_node(node);
        --parent->children;
        node = parent;
    }
}

}  // namespace pug
