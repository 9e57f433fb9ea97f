// SPDX-License-Identifier: GPL-3.0-or-later
// An object a keyed archive can hold: it names its class chain and writes and reads its own
// members. The archive knows no classes of its own; whoever reads one says which class names it
// can make.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

class OVKeyedArchiver;
class OVKeyedUnarchiver;

class OVArchivable {
public:
    virtual ~OVArchivable() = default;
    virtual const char* className() const = 0;
    // The class chain from this class up to the root, as written under "$classes".
    virtual std::vector<std::string> classHierarchy() const = 0;
    virtual void encodeWithCoder(OVKeyedArchiver& coder) const = 0;
    virtual void initWithCoder(OVKeyedUnarchiver& coder) = 0;
    // The class chain is the one an archive gave, not the class's own: a class of that name may
    // stand in an archive with several chains, each written back as it was.
    virtual bool classChainAsRead() const { return false; }
};

using OVArchivablePtr = std::shared_ptr<OVArchivable>;
using OVArchivableList = std::vector<OVArchivablePtr>;

// An empty object of the named class (whose chain up to the root the archive gives), or none for
// a class the reader does not know.
using OVArchiveClassFactory =
    std::function<OVArchivablePtr(const std::string& className, const std::vector<std::string>& classChain)>;
