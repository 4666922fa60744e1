#include "meter/bsearchtree.h"

tbsearchtree::~tbsearchtree()
{
    for (thashitem *&head : buckets_) {
        while (head) {
            thashitem *item = head;
            head = static_cast<thashitem *>(item->next);
            delete item;
        }
    }
}

qint32 tbsearchtree::hash(const QString &key)
{
    quint32 h = 0;
    for (const QChar c : key)
        h = (h << 6) ^ (c.unicode() & 0xFFu);
    return qint32((h ^ (h >> 16)) & 0x3FFFu);
}

void tbsearchtree::add(const QString &key, void *value)
{
    auto *item = new thashitem;
    item->hash = hash(key);
    item->s = key;
    item->p = value;
    tlinklist *head = buckets_[item->hash];
    linkAtHead(head, item);
    buckets_[item->hash] = static_cast<thashitem *>(head);
}

thashitem *tbsearchtree::findItem(const QString &key) const
{
    for (tlinklist *l = buckets_[hash(key)]; l; l = l->next) {
        auto *item = static_cast<thashitem *>(l);
        if (item->s == key)
            return item;
    }
    return nullptr;
}

void *tbsearchtree::find(const QString &key) const
{
    const thashitem *item = findItem(key);
    return item ? item->p : nullptr;
}

bool tbsearchtree::remove(const QString &key)
{
    thashitem *item = findItem(key);
    if (!item)
        return false;
    tlinklist *head = buckets_[item->hash];
    unlinkItem(head, item);
    buckets_[item->hash] = static_cast<thashitem *>(head);
    delete item;
    return true;
}
