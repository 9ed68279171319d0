// CMyList: a doubly linked list whose nodes own separately allocated elements, with a
// cursor and a cached cursor position. It grows only at the tail and is emptied all
// at once. The position is a cache: -1 means only that the cursor's index is not
// tracked (or that there is no cursor), never that the cursor is invalid.
#pragma once

#include <cstdint>
#include <new>
#include <type_traits>

#include "allocation.h"
#include "my_exception.h"

template <typename T>
struct CMyListNode {
  T* element;
  CMyListNode* next;
  CMyListNode* prev;
};

template <typename T>
class CMyList {
  static_assert(std::is_nothrow_default_constructible_v<T>,
                "a new element is built in its starting state before the value is copied in");

 public:
  using Node = CMyListNode<T>;

  CMyList() = default;
  CMyList(const CMyList&) = delete;
  CMyList& operator=(const CMyList&) = delete;
  ~CMyList() { RemoveAll(); }

  // A new, unlinked node holding a copy of |value|; the caller links it. The list is
  // unchanged when this throws.
  Node* NewElem(const T& value);

  // Links a node made by NewElem at the tail and makes it the current node; the index
  // of the cursor is not tracked afterwards. Returns false for a null node.
  bool Append(Node* node);

  // Appends a copy of |value| as above. Returns true.
  bool Add(T value);

  // Deletes every element and node, from head to tail. Returns true.
  bool RemoveAll();

  // Moves the cursor to the node with index |target|, walking from the cached
  // position when there is one, else from the head.
  void SetPosition(std::int32_t target);

  // The element of the cursor node. Without a cursor node: an element in its starting
  // state, which belongs to no list.
  T& GetCurrent();

  void MoveNext();
  void MovePrev();

  bool HasCurrent() const { return cursor_ != nullptr; }
  std::int32_t Count() const { return count_; }
  std::int32_t Position() const { return position_; }

 private:
  // Deletes the node and its element (if any).
  static void DeleteNode(Node* node);
  void Step(bool forward);

  Node* head_ = nullptr;
  Node* tail_ = nullptr;
  Node* cursor_ = nullptr;
  std::int32_t count_ = 0;
  std::int32_t position_ = -1;
};

// The starting state of a new element: T's default. Key records start as key code 0
// and action -1 by their own member defaults; strings start unset.
template <typename T>
typename CMyList<T>::Node* CMyList<T>::NewElem(const T& value) {
  Node* node = static_cast<Node*>(support::AllocateBlock(sizeof(Node)));
  if (node == nullptr) {
    throw CMyExceptionMemory("CMyList", "NewElem", static_cast<std::int32_t>(sizeof(Node)));
  }
  node->element = nullptr;
  node->next = nullptr;
  node->prev = nullptr;
  // Frees whatever is built so far when the element cannot be made, so that a failure
  // leaves nothing behind.
  struct PartialNode {
    Node* node;
    ~PartialNode() {
      if (node != nullptr) DeleteNode(node);
    }
  } partial{node};

  void* memory = support::AllocateBlock(sizeof(T));
  if (memory == nullptr) {
    throw CMyExceptionMemory("CMyList", "NewElem", static_cast<std::int32_t>(sizeof(T)));
  }
  node->element = new (memory) T();
  *node->element = value;
  partial.node = nullptr;
  position_ = -1;
  return node;
}

template <typename T>
bool CMyList<T>::Add(T value) {
  return Append(NewElem(value));
}

template <typename T>
bool CMyList<T>::Append(Node* node) {
  if (node == nullptr) return false;
  if (tail_ != nullptr) {
    tail_->next = node;
    node->prev = tail_;
  } else {
    head_ = node;
  }
  tail_ = node;
  cursor_ = node;
  ++count_;
  return true;
}

template <typename T>
bool CMyList<T>::RemoveAll() {
  cursor_ = head_;
  position_ = head_ != nullptr ? 0 : -1;
  while (cursor_ != nullptr) {
    Node* next = cursor_->next;
    DeleteNode(cursor_);
    position_ = -1;
    cursor_ = next;
  }
  head_ = nullptr;
  tail_ = nullptr;
  cursor_ = nullptr;
  count_ = 0;
  return true;
}

template <typename T>
void CMyList<T>::SetPosition(std::int32_t target) {
  std::int32_t steps = target;
  bool forward = true;
  if (position_ == -1) {
    cursor_ = head_;
    position_ = head_ != nullptr ? 0 : -1;
  } else if (target >= position_) {
    steps = target - position_;
  } else {
    steps = position_ - target;
    forward = false;
  }
  for (std::int32_t i = 0; i < steps && cursor_ != nullptr; ++i) Step(forward);
}

template <typename T>
T& CMyList<T>::GetCurrent() {
  if (cursor_ != nullptr) return *cursor_->element;
  static T detached;
  detached = T();
  return detached;
}

template <typename T>
void CMyList<T>::MoveNext() {
  Step(true);
}

template <typename T>
void CMyList<T>::MovePrev() {
  Step(false);
}

template <typename T>
void CMyList<T>::Step(bool forward) {
  if (cursor_ == nullptr) {
    position_ = -1;
    return;
  }
  cursor_ = forward ? cursor_->next : cursor_->prev;
  if (cursor_ == nullptr) {
    position_ = -1;
  } else if (position_ != -1) {
    position_ += forward ? 1 : -1;
  }
}

template <typename T>
void CMyList<T>::DeleteNode(Node* node) {
  if (node->element != nullptr) {
    node->element->~T();
    support::ReleaseBlock(node->element);
  }
  support::ReleaseBlock(node);
}
