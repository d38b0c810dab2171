// Memory for data set entries, kept per thread for reuse.
//
// Parsing an arriving object makes over a thousand elements and a few hundred nested data sets,
// and dropping it frees them all; the C library's own per-thread cache holds only seven blocks of
// a size, so most of those went through its slower shared bins. DcmTag and DcmObj take their
// memory here instead: a freed block waits in its thread's list for the next entry of the same
// class, up to kKeptBlocks of them, and the rest go back to the C library. A block may be freed on
// another thread than the one that took it; it then simply joins that thread's list.
//
// Under AddressSanitizer a kept block is poisoned, so a use after free is still reported; only its
// last bytes, which link it into the list, stay readable (the leak checker follows them).
#pragma once

#include <cstddef>
#include <new>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#define TREVALIND_POISON(p, n) ASAN_POISON_MEMORY_REGION(p, n)
#define TREVALIND_UNPOISON(p, n) ASAN_UNPOISON_MEMORY_REGION(p, n)
#else
#define TREVALIND_POISON(p, n) ((void)(p), (void)(n))
#define TREVALIND_UNPOISON(p, n) ((void)(p), (void)(n))
#endif

template <class Entry>
class EntryCache {
 public:
  static constexpr size_t kKeptBlocks = 2048;

  static void* Take(size_t size) {
    // A derived class's entry, or one made while the thread ends, comes from the C library.
    if (size != sizeof(Entry) || closed_) return ::operator new(size);
    List& list = Mine();
    if (!list.head) return ::operator new(size);
    void* block = list.head;
    list.head = *LinkOf(block);
    --list.count;
    TREVALIND_UNPOISON(block, kLinkAt);
    return block;
  }

  static void Give(void* memory, size_t size) {
    if (!memory) return;
    if (size != sizeof(Entry) || closed_) {
      ::operator delete(memory);
      return;
    }
    List& list = Mine();
    if (list.count >= kKeptBlocks) {
      ::operator delete(memory);
      return;
    }
    *LinkOf(memory) = list.head;
    list.head = memory;
    ++list.count;
    TREVALIND_POISON(memory, kLinkAt);
  }

 private:
  // A kept block links to the next one through its last pointer-sized bytes.
  static constexpr size_t kLinkAt =
      (sizeof(Entry) - sizeof(void*)) / alignof(void*) * alignof(void*);
  static_assert(sizeof(Entry) >= sizeof(void*));
  static void** LinkOf(void* block) {
    return reinterpret_cast<void**>(static_cast<char*>(block) + kLinkAt);
  }
  struct List {
    void* head = nullptr;
    size_t count = 0;
    List() = default;
    List(const List&) = delete;
    List& operator=(const List&) = delete;
    ~List() {
      while (head) {
        void* block = head;
        head = *LinkOf(block);
        TREVALIND_UNPOISON(block, kLinkAt);
        ::operator delete(block);
      }
      closed_ = true;  // entries dropped later in the thread's end go straight back
    }
  };
  static inline thread_local bool closed_ = false;
  static List& Mine() {
    thread_local List list;
    return list;
  }
};
