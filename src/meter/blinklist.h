#pragma once

// A doubly linked list item; lists are reached through a head pointer.

struct tlinklist {
    tlinklist *next = nullptr;
    tlinklist *prev = nullptr;
    virtual ~tlinklist() = default;
};

// Puts the item in front of the list's first item; the item becomes the head.
void linkAtHead(tlinklist *&head, tlinklist *item);
// Takes the item out of its list; the head moves on when the item was the head.
void unlinkItem(tlinklist *&head, tlinklist *item);
