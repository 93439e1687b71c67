// A doubly linked list of records that carry their own `prev` and `next`
// links: the message kernel's free lists, its pending queue, its handler
// list and its timer lists. A record is on one list at a time; the list
// never allocates.
#pragma once

namespace vxctl {

template <class Node>
struct NodeList {
  Node* head = nullptr;
  Node* tail = nullptr;

  bool empty() const { return head == nullptr; }

  // `node` goes behind `at`; at the front when `at` is null.
  void InsertAfter(Node* at, Node* node) {
    node->prev = at;
    node->next = at != nullptr ? at->next : head;
    if (node->next != nullptr) {
      node->next->prev = node;
    } else {
      tail = node;
    }
    if (at != nullptr) {
      at->next = node;
    } else {
      head = node;
    }
  }
  void InsertBefore(Node* at, Node* node) { InsertAfter(at->prev, node); }
  void PushFront(Node* node) { InsertAfter(nullptr, node); }
  void PushBack(Node* node) { InsertAfter(tail, node); }

  // Unlinks `node`, which is on this list, and clears its links.
  void Remove(Node* node) {
    if (node->prev != nullptr) {
      node->prev->next = node->next;
    } else {
      head = node->next;
    }
    if (node->next != nullptr) {
      node->next->prev = node->prev;
    } else {
      tail = node->prev;
    }
    node->prev = node->next = nullptr;
  }

  Node* PopFront() {
    Node* node = head;
    if (node != nullptr) Remove(node);
    return node;
  }
};

}  // namespace vxctl
