#pragma once

// A table of text keys to untyped values: 16384 buckets, each the head of a doubly linked
// list of items. The USB layer keeps its chips here while they deliver events.

#include "meter/blinklist.h"

#include <QString>
#include <array>

struct thashitem : tlinklist {
    qint32 hash = 0; // the bucket index
    QString s;       // the key
    void *p = nullptr;
};

class tbsearchtree {
public:
    static constexpr int BucketCount = 16384;

    tbsearchtree() = default;
    ~tbsearchtree();
    tbsearchtree(const tbsearchtree &) = delete;
    tbsearchtree &operator=(const tbsearchtree &) = delete;

    // h = (h << 6) xor (low 8 bits of each character), then (h xor (h >> 16)) and 0x3FFF.
    static qint32 hash(const QString &key);

    // Puts a new item at the head of the key's bucket (an earlier item with the same key stays
    // behind it).
    void add(const QString &key, void *value);
    // The value of the first item of the key's bucket whose key is equal, or nothing.
    void *find(const QString &key) const;
    // Unlinks and frees the first such item; false when there is none.
    bool remove(const QString &key);

    const thashitem *bucket(int index) const { return buckets_.at(index); }

private:
    thashitem *findItem(const QString &key) const;
    std::array<thashitem *, BucketCount> buckets_{};
};
