#pragma once

#include "vorn_object.h"
#include "vorn_string.h"

// Blocking IPv4 host look-up, done at construction.
class CVornHostEnt : public CVornObject {
public:
    // Null: the local host name. A dotted address is looked up in reverse, any other text by
    // name. On failure both fields stay empty.
    explicit CVornHostEnt(const char* name = nullptr);
    ~CVornHostEnt() override = default;

    virtual const char* ClassName() const { return "CVornHostEnt"; }
    // Official host name, or null when unknown.
    virtual const char* GetName() const { return m_name.IsEmpty() ? nullptr : m_name.c_str(); }
    // First address as four decimal numbers joined by ".", or null when unknown.
    virtual const char* GetAddr() const { return m_addr.IsEmpty() ? nullptr : m_addr.c_str(); }

private:
    CVornString m_name;
    CVornString m_addr;
};
