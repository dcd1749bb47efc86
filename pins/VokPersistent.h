#pragma once

#include <stdexcept>
#include <string>
#include <typeinfo>

class TVokFiler;

/// Base of every object whose state can be copied from another object of the framework and,
/// through its class's published property table, read from and written to form descriptions:
/// pins, pin lists, lock holders and components.
class TVokPersistent {
  public:
    TVokPersistent() = default;
    TVokPersistent(const TVokPersistent&) = delete;
    TVokPersistent& operator=(const TVokPersistent&) = delete;
    virtual ~TVokPersistent() = default;

    /// Copies `source`'s state into this object. The base asks `source` to `AssignTo` this
    /// object; a class that knows how to take another's state overrides it. Throws
    /// std::invalid_argument naming both classes when neither side knows how.
    virtual void Assign(const TVokPersistent* source) {
        if (source == nullptr) {
            throw std::invalid_argument(std::string("Cannot assign nothing to a ") +
                                        typeid(*this).name());
        }
        source->AssignTo(this);
    }

    /// Declares the pseudo-properties this object stores in form descriptions besides its
    /// published properties (a pin's links, a device selection's "Data"), each with its reader,
    /// its writer and whether it is written. The base declares none.
    virtual void DefineProperties(TVokFiler& filer) { (void)filer; }

  protected:
    /// Copies this object's state into `destination`; the base refuses.
    virtual void AssignTo(TVokPersistent* destination) const {
        throw std::invalid_argument(std::string("Cannot assign a ") + typeid(*this).name() +
                                    " to a " + typeid(*destination).name());
    }
};
