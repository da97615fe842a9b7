#pragma once
// The element registry (one static registration per element class) and the two
// creation routines that turn XML elements and text runs into positioned elements.
#include <cstring>
#include <memory>

#include "markup/nivoml_baseobj.h"

namespace dynamic {

class abstract_factory {
public:
    // A new element when this factory accepts the tag, else null.
    virtual NIVOML_BASEOBJ* create(const char* tag) = 0;
    virtual ~abstract_factory() = default;
};

template <class T>
class factory : public abstract_factory {
public:
    NIVOML_BASEOBJ* create(const char* tag) override { return T::IsTag(tag) ? new T() : nullptr; }
};

// A node of the registry list; links itself in at the head, unlinks on destruction.
class factory_list_ele {
public:
    explicit factory_list_ele(abstract_factory* f);
    virtual ~factory_list_ele();
    factory_list_ele(const factory_list_ele&) = delete;
    factory_list_ele& operator=(const factory_list_ele&) = delete;

    factory_list_ele* next = nullptr;
    abstract_factory* factory = nullptr;
};

// Asks the registered factories, last registered first.
std::unique_ptr<NIVOML_BASEOBJ> Create(const char* tag);

}  // namespace dynamic

// Registers element class T for its tags; one use in T's source file.
#define NIVOML_REGISTER_ELEMENT(T)                      \
    namespace {                                         \
    dynamic::factory<T> s_factory;                      \
    dynamic::factory_list_ele s_registration(&s_factory); \
    }

// Makes and initialises the element for one XML element and advances position.
bool CreateFromNivoml(XMLNode& node, std::unique_ptr<NIVOML_BASEOBJ>& out, int& position);
// Makes the text element for text run textIndex of parent at position.
bool ParseText(XMLNode& parent, std::unique_ptr<NIVOML_BASEOBJ>& out, int& textIndex,
               int& position);
