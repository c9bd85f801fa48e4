// Simulated private object namespaces. A namespace is found by its name and the SIDs of its
// boundary (two boundaries with the same SIDs are the same); it lives while something refers
// to it (a namespace handle of the program, or a scripted process that keeps it) and goes with
// the last, so that the next creation makes a new, empty one. Objects inside are named
// "alias\\object" by the program that opened it under that alias; the simulation keeps them
// under a name unique to the namespace (ObjectName).
//
// A system without them (before Vista, or Wine 8.0) is `present = false`: GetProcAddress finds
// no CreatePrivateNamespaceW, OpenPrivateNamespaceW, ClosePrivateNamespace or
// DeleteBoundaryDescriptor, and AddSIDToBoundaryDescriptor is a stub that ends the program, as
// Wine's does (CreateBoundaryDescriptorW is there).
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "winsim/machine.h"
#include "winsim/security.h"

namespace winsim {

class PrivateNamespaces {
 public:
  struct Namespace {
    std::string key;  // name and boundary SIDs
    unsigned instance = 0;
    ObjectSecurity security;
  };
  // What a boundary descriptor holds.
  struct Boundary {
    std::string name;
    std::vector<std::string> sids;
  };

  bool present = true;

  // The living namespace of the name and boundary, or a new one made with the security;
  // *existed tells which.
  std::shared_ptr<Namespace> CreateOrOpen(const Boundary& boundary, const ObjectSecurity& security,
                                          bool* existed);
  // The living namespace; null when there is none.
  std::shared_ptr<Namespace> Find(const Boundary& boundary) const;
  // The name the simulation keeps an object of the namespace under.
  static std::string ObjectName(const Namespace& space, const std::string& object);

  // What a namespace handle of the program refers to: the namespace under its alias.
  struct Opening {
    std::string alias;
    std::shared_ptr<Namespace> space;
  };
  // The object behind a new namespace handle; while it lives, "alias\\object" names of the
  // program refer to the namespace.
  std::shared_ptr<Opening> Open(const std::string& alias, const std::shared_ptr<Namespace>& space);
  std::shared_ptr<Namespace> ByAlias(const std::string& alias) const;

 private:
  static std::string Key(const Boundary& boundary);

  std::map<std::string, std::weak_ptr<Namespace>> living_;
  std::vector<std::weak_ptr<Opening>> openings_;
  unsigned nextInstance_ = 1;
};

}  // namespace winsim
