#pragma once
// What the contact dialog gives back for a contact of the given type, city,
// operator and number, the other fields empty.

#include "pager/book.h"
#include "tests/support/testenv.h"

namespace booktest {

inline TBookItDialogResult dialog(const char* name, int type, const char* city, const char* op, const char* num)
{
    TBookItDialogResult r;
    r.Name = testenv::cp(name);
    r.Type = type;
    r.City = testenv::cp(city);
    r.Operator = testenv::cp(op);
    r.Num = testenv::cp(num);
    return r;
}

}  // namespace booktest
