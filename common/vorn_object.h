#pragma once

// Root of the library's classes; gives every object a virtual destructor.
class CVornObject {
public:
    CVornObject() = default;
    virtual ~CVornObject() = default;
    CVornObject(const CVornObject&) = default;
    CVornObject& operator=(const CVornObject&) = default;
};
