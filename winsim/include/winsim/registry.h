// Simulated registry: keys by full path below a root (names compared without letter case),
// values as typed bytes exactly as a program stored them.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "winsim/machine.h"
#include "winsim/text.h"

namespace winsim {

class Registry {
 public:
  struct Value {
    WideText name;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
  };

  void CreateKey(HKEY root, const WideText& path);
  bool KeyExists(HKEY root, const WideText& path) const;
  void DeleteKey(HKEY root, const WideText& path);
  void SetValue(HKEY root, const WideText& path, const WideText& name, DWORD type,
                const std::vector<BYTE>& data);
  void SetString(HKEY root, const WideText& path, const WideText& name, const WideText& text);
  // REG_MULTI_SZ: each string with its terminator, then the closing empty string.
  void SetMultiString(HKEY root, const WideText& path, const WideText& name,
                      const std::vector<WideText>& strings);
  const Value* GetValue(HKEY root, const WideText& path, const WideText& name) const;
  void DeleteValue(HKEY root, const WideText& path, const WideText& name);
  // Opening the key with any of these access bits fails with ERROR_ACCESS_DENIED.
  void DenyAccess(HKEY root, const WideText& path, REGSAM mask);

  // Runs once, inside the next RegQueryValueExW that reads data (after any size query), so a
  // test can change a value between a program's size query and its read.
  std::function<void()> beforeNextDataRead;
  // Hive flushes done (RegFlushKey calls that succeeded): each writes a whole hive to disk.
  unsigned flushes = 0;

  // Used by the simulated calls.
  struct Key {
    WideText name;  // the last part of the path, in the letters it was created with
    REGSAM denied = 0;
    std::map<WideText, Value> values;
  };
  struct OpenKey {
    WideText path;  // full path, root included
    REGSAM access;
  };
  static WideText FullPath(HKEY root, const WideText& path);
  Key* FindKey(const WideText& fullPath);
  Key& MakeKey(const WideText& fullPath);
  // The keys right below the key, in the order of their names without letter case.
  std::vector<const Key*> SubKeys(const WideText& fullPath) const;
  // The key and everything below it; false when there was no such key.
  bool DeleteTree(const WideText& fullPath);

 private:
  std::map<WideText, Key> keys_;
};

}  // namespace winsim
