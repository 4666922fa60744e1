#include "meter/blinklist.h"

void linkAtHead(tlinklist *&head, tlinklist *item)
{
    item->prev = nullptr;
    item->next = head;
    if (head)
        head->prev = item;
    head = item;
}

void unlinkItem(tlinklist *&head, tlinklist *item)
{
    if (item->prev)
        item->prev->next = item->next;
    else if (head == item)
        head = item->next;
    if (item->next)
        item->next->prev = item->prev;
    item->next = nullptr;
    item->prev = nullptr;
}
