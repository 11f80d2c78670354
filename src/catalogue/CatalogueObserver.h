#pragma once

#include <cstdint>

// Kinds of catalogue objects named by change notifications.
enum class TObjectType : uint16_t {
    Book = 0xE10,
    Folder = 0xE11,
    Series = 0xE12,
    Genre = 0xE13,
    Author = 0xE14,
};

// The notification parameter as windows receive it: change kind in the top byte, object type below.
constexpr uint32_t NotifyParam(TObjectType type, int kind) {
    return static_cast<uint32_t>(kind) << 24 | static_cast<uint16_t>(type);
}

// Receives the changes of a catalogue. Calls arrive on the thread that made the change, never
// while that thread holds the catalogue lock; the object may be freed right after the call,
// so a receiver that queues the call elsewhere must keep only its identity.
class ICatalogueObserver {
public:
    virtual ~ICatalogueObserver() = default;

    // kind: the change kinds of each object type (0 changed, 1 moved, 2 added, 3 deleted for
    // genres and series; see the entity for books, folders and authors).
    virtual void CatalogueChanged(TObjectType type, int kind, const void* object) = 0;

    // A load finished (successfully or not): every view rebuilds from the catalogue.
    virtual void LibraryLoaded() = 0;
};
