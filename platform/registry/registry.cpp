#include "platform/registry/registry.h"

#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <unordered_map>

#include "platform/eventlog/eventlog.h"
#include "platform/registry/registry_shared.h"
#include "platform/text/vbstring.h"

namespace veltrano::reg {
namespace {

// ---- the store -------------------------------------------------------------------------

class Statement {
 public:
  Statement() = default;
  Statement(sqlite3* db, const char* sql) { sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr); }
  ~Statement() { sqlite3_finalize(stmt_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  explicit operator bool() const { return stmt_ != nullptr; }
  sqlite3_stmt* get() { return stmt_; }
  // Resets for a new use.
  sqlite3_stmt* use() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
    return stmt_;
  }

 private:
  sqlite3_stmt* stmt_ = nullptr;
};

// Binds text for the step that follows at once (every use rebinds all parameters first).
void bindText(sqlite3_stmt* s, int i, std::string_view t) {
  sqlite3_bind_text(s, i, t.data(), static_cast<int>(t.size()), SQLITE_STATIC);
}

// Keys are rows (id, parent, root, display name, folded full path); values hang off a key id.
// The root keys themselves have no row: their values use the key id -root_index - 1.
constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS keys(id INTEGER PRIMARY KEY, parent INTEGER NOT NULL, root INTEGER NOT NULL,"
    " name TEXT NOT NULL, fold TEXT NOT NULL);"
    "CREATE UNIQUE INDEX IF NOT EXISTS keys_path ON keys(root, fold);"
    "CREATE INDEX IF NOT EXISTS keys_parent ON keys(root, parent);"
    "CREATE TABLE IF NOT EXISTS vals(key INTEGER NOT NULL, fold TEXT NOT NULL, name TEXT NOT NULL,"
    " type INTEGER NOT NULL, data BLOB, PRIMARY KEY(key, fold)) WITHOUT ROWID;";

// Lack of space on the device, as SQLite reports it: SQLITE_FULL, or an I/O error whose
// errno says so (the log or the shared-memory file could not grow).
bool isSpaceFailure(sqlite3* db) {
  if (!db) return false;
  const int err = sqlite3_system_errno(db);
  return (sqlite3_extended_errcode(db) & 0xFF) == SQLITE_FULL || err == ENOSPC || err == EDQUOT;
}

class Store {
 public:
  explicit Store(std::string path) : path_(std::move(path)) {}
  ~Store() { close(); }

  // Opens the file on first use; a store that could not be opened is tried again next call.
  long ensureOpen() {
    if (db_) return ERROR_SUCCESS;
    std::error_code ec;
    std::filesystem::path p(path_);
    if (p.has_parent_path()) std::filesystem::create_directories(p.parent_path(), ec);
    if (!std::filesystem::exists(p, ec) && !ec) createStoreFile();
    // A connection that meets a store still being switched to WAL by another process (an
    // empty file, the first page still in the other's log) gets SQLITE_BUSY at once; a new
    // connection reads the file afresh. New stores are made whole beforehand, so this is rare.
    int rc = SQLITE_BUSY;
    for (int attempt = 0; attempt < 20 && (rc == SQLITE_BUSY || rc == SQLITE_LOCKED); ++attempt) {
      close();
      rc = connect();
    }
    spaceFailure_ = rc != SQLITE_OK && isSpaceFailure(db_);
    if (rc == SQLITE_CANTOPEN) {
      close();
      return ERROR_CANTOPEN;
    }
    if (rc != SQLITE_OK) {
      close();
      return ERROR_BADDB;
    }
    findKey_ = std::make_unique<Statement>(db_, "SELECT id FROM keys WHERE root=?1 AND fold=?2");
    insertKey_ = std::make_unique<Statement>(db_, "INSERT INTO keys(parent, root, name, fold) VALUES(?1,?2,?3,?4)");
    getValue_ = std::make_unique<Statement>(db_, "SELECT type, data FROM vals WHERE key=?1 AND fold=?2");
    keyValue_ = std::make_unique<Statement>(
        db_, "SELECT k.id, v.type, v.data FROM keys k LEFT JOIN vals v ON v.key=k.id AND v.fold=?3"
             " WHERE k.root=?1 AND k.fold=?2");
    // Writing what a value holds already changes nothing, so it costs no log frame and no sync.
    setValue_ = std::make_unique<Statement>(
        db_, "INSERT INTO vals(key, fold, name, type, data) VALUES(?1,?2,?3,?4,?5) ON CONFLICT(key, fold) DO UPDATE"
             " SET name=excluded.name, type=excluded.type, data=excluded.data WHERE name IS NOT excluded.name"
             " OR type IS NOT excluded.type OR data IS NOT excluded.data");
    return ERROR_SUCCESS;
  }

  void close() {
    findKey_.reset();
    insertKey_.reset();
    getValue_.reset();
    keyValue_.reset();
    setValue_.reset();
    if (db_) sqlite3_close_v2(db_);
    db_ = nullptr;
    checkpointedChanges_ = 0;
  }

  sqlite3* db() { return db_; }
  // Whether the last failure came from lack of space on the device.
  bool outOfSpace() const { return db_ ? isSpaceFailure(db_) : spaceFailure_; }
  Statement& findKey() { return *findKey_; }
  Statement& insertKey() { return *insertKey_; }
  Statement& getValue() { return *getValue_; }
  Statement& keyValue() { return *keyValue_; }
  Statement& setValue() { return *setValue_; }
  const std::string& path() const { return path_; }

  void checkpointOwnWrites() {
    const long long changes = sqlite3_total_changes64(db_);
    if (changes == checkpointedChanges_) return;
    sqlite3_wal_checkpoint_v2(db_, nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
    checkpointedChanges_ = changes;
  }

  // Runs `body` inside one write transaction (BEGIN IMMEDIATE waits out other writers).
  template <typename F>
  long write(F body) {
    if (sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK) return ERROR_CANTWRITE;
    long rc = body();
    if (rc != ERROR_SUCCESS) {
      sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
      return rc;
    }
    if (sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
      sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
      return ERROR_CANTWRITE;
    }
    return ERROR_SUCCESS;
  }

 private:
  // Makes a new store under another name, in WAL mode with its schema, and links it into
  // place unless another process got there first: nobody ever opens a store half made.
  void createStoreFile() {
    const std::string temp = path_ + ".new" + std::to_string(getpid());
    sqlite3* db = nullptr;
    bool made = sqlite3_open_v2(temp.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) == SQLITE_OK &&
                sqlite3_exec(db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr) == SQLITE_OK &&
                sqlite3_exec(db, kSchema, nullptr, nullptr, nullptr) == SQLITE_OK;
    made = sqlite3_close(db) == SQLITE_OK && made;  // the last close folds the log into the file
    std::error_code ec;
    if (made) std::filesystem::create_hard_link(temp, path_, ec);
    for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(temp + suffix, ec);
  }

  // One connection: WAL (a file system without shared memory keeps the rollback journal,
  // which is safe too), the busy timeout, and the schema, made in a write transaction taken
  // up front so that it waits for other writers.
  int connect() {
    // No mutex of SQLite's own: every call on the connection is made under the state's mutex.
    if (sqlite3_open_v2(path_.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                        nullptr) != SQLITE_OK)
      return SQLITE_CANTOPEN;
    sqlite3_busy_timeout(db_, 15000);
    int rc = sqlite3_exec(db_, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK) rc = sqlite3_exec(db_, "PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK) rc = sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK) {
      rc = sqlite3_exec(db_, kSchema, nullptr, nullptr, nullptr);
      const int end = sqlite3_exec(db_, rc == SQLITE_OK ? "COMMIT" : "ROLLBACK", nullptr, nullptr, nullptr);
      if (rc == SQLITE_OK) rc = end;
    }
    return rc;
  }

  std::string path_;
  sqlite3* db_ = nullptr;
  long long checkpointedChanges_ = 0;  // total changes of this connection at its last checkpoint
  bool spaceFailure_ = false;  // the last attempt to open failed for lack of space
  std::unique_ptr<Statement> findKey_, insertKey_, getValue_, keyValue_, setValue_;
};

// ---- process state: the store, open handles, injected faults ---------------------------------

using SteadyTime = std::chrono::steady_clock::time_point;

// A value just read through a handle, kept for the registry call that comes next.
//
// Callers read a value as open, size query, read: three calls that would each ask the store.
// The open reads the value this process last asked for under the key along with the key
// itself, and the size query keeps what it read; the very next registry call of this process,
// if it reads that value through that handle within kReadAheadLifetime, takes it from here.
// Nothing else can happen in between in this process, and another process's write in that
// instant is one the read may as well have preceded: the sequence reads one consistent state.
constexpr std::chrono::milliseconds kReadAheadLifetime{1};
constexpr int kReadAheadLimit = 64 * 1024;  // bytes; larger values are read when asked for

struct ReadAhead {
  bool valid = false;
  std::string name;  // folded value name
  bool found = false;
  std::uint32_t type = 0;
  std::vector<std::uint8_t> data;
  std::uint64_t call = 0;  // the call that may take it
  SteadyTime time;
};

struct OpenKey {
  HKEY root;
  long long id;      // row id, or the negative id of a root key
  std::string fold;  // folded full path below the root ("" for the root itself)
  ReadAhead ahead;
};

struct State {
  std::recursive_mutex mutex;
  std::unique_ptr<Store> store;
  std::string explicitPath;
  std::map<HKEY, OpenKey> handles;
  HKEY nextHandle = 0x00000100;
  // Registry calls so far (a read-ahead is for the next one only).
  std::uint64_t calls = 0;
  // By root and folded key path, the folded name of the value last read there.
  std::array<std::unordered_map<std::string, std::string>, 5> lastRead;
  static constexpr std::size_t kLastReadLimit = 4096;
  // The store failure last written to the event log (ERROR_SUCCESS: none since a call worked).
  long reportedFailure = ERROR_SUCCESS;
};

State& state() {
  static State s;
  return s;
}

bool isRoot(HKEY k) { return k >= HKEY_CLASSES_ROOT && k <= HKEY_PERFORMANCE_DATA; }
long long rootId(HKEY root) { return -static_cast<long long>(root - HKEY_CLASSES_ROOT) - 1; }

long takeFault(State&, std::string_view op) { return takeInjectedFault(op); }

Store& store(State& s) {
  if (!s.store) s.store = std::make_unique<Store>(storePath());
  return *s.store;
}

std::unordered_map<std::string, std::string>& lastRead(State& s, HKEY root) {
  return s.lastRead[static_cast<std::size_t>(root - HKEY_CLASSES_ROOT)];
}

void noteRead(State& s, const OpenKey& k, const std::string& name) {
  if (k.id < 0) return;
  auto& byRoot = lastRead(s, k.root);
  auto it = byRoot.find(k.fold);
  if (it != byRoot.end()) {
    if (it->second != name) it->second = name;
    return;
  }
  if (byRoot.size() >= State::kLastReadLimit) byRoot.clear();
  byRoot.emplace(k.fold, name);
}

// Counts a registry call; whatever was read ahead for an earlier call is not taken after it.
void countCall(State& s) { ++s.calls; }

void keepForNextCall(State& s, ReadAhead& a, std::string name, bool found, std::uint32_t type,
                     std::vector<std::uint8_t> data) {
  a.valid = true;
  a.name = std::move(name);
  a.found = found;
  a.type = type;
  a.data = std::move(data);
  a.call = s.calls + 1;
  a.time = std::chrono::steady_clock::now();
}

// The value read ahead for this call, if it is the one asked for and still fresh.
bool takeReadAhead(State& s, ReadAhead& a, const std::string& name) {
  if (!a.valid) return false;
  a.valid = false;
  return a.call == s.calls && a.name == name && std::chrono::steady_clock::now() - a.time <= kReadAheadLifetime;
}

// Resolves a handle to the key it names (the root keys are always open).
OpenKey* resolve(State& s, HKEY key) {
  static OpenKey roots[] = {{HKEY_CLASSES_ROOT, -1, "", {}},  {HKEY_CURRENT_USER, -2, "", {}},
                            {HKEY_LOCAL_MACHINE, -3, "", {}}, {HKEY_USERS, -4, "", {}},
                            {HKEY_PERFORMANCE_DATA, -5, "", {}}};
  if (isRoot(key)) return &roots[key - HKEY_CLASSES_ROOT];
  auto it = s.handles.find(key);
  return it == s.handles.end() ? nullptr : &it->second;
}

// Splits a sub-key path at "\" into its components; doubled, leading and trailing separators
// are dropped (no component is empty), as the Windows registry tolerates them.
std::vector<std::string> components(std::string_view path) {
  std::vector<std::string> parts;
  std::string cur;
  for (char c : path) {
    if (c == '\\') {
      if (!cur.empty()) parts.push_back(std::move(cur));
      cur.clear();
    } else {
      cur.push_back(c);
    }
  }
  if (!cur.empty()) parts.push_back(std::move(cur));
  return parts;
}

// Keys and value names compare in lower case (ASCII directly, other text through LCase).
std::string fold(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (static_cast<unsigned char>(c) >= 0x80) return text::LCase(s);
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

// `base` (a folded path) extended by the folded components of `sub`.
std::string foldedPath(const std::string& base, std::string_view sub) {
  const std::string folded = fold(sub);
  std::string path = base;
  path.reserve(base.size() + folded.size() + 1);
  std::size_t i = 0;
  while (i < folded.size()) {
    if (folded[i] == '\\') {
      ++i;
      continue;
    }
    const std::size_t end = std::min(folded.find('\\', i), folded.size());
    if (!path.empty()) path += '\\';
    path.append(folded, i, end - i);
    i = end;
  }
  return path;
}

long lookupKey(Store& st, HKEY root, const std::string& foldPath, long long* id) {
  if (foldPath.empty()) {
    *id = rootId(root);
    return ERROR_SUCCESS;
  }
  sqlite3_stmt* q = st.findKey().use();
  sqlite3_bind_int64(q, 1, root);
  bindText(q, 2, foldPath);
  int rc = sqlite3_step(q);
  if (rc == SQLITE_ROW) {
    *id = sqlite3_column_int64(q, 0);
    sqlite3_reset(q);
    return ERROR_SUCCESS;
  }
  sqlite3_reset(q);
  return rc == SQLITE_DONE ? ERROR_FILE_NOT_FOUND : ERROR_CANTREAD;
}

// Win32's answer for a handle whose key has been deleted.

// Checks that the key of a handle is still there and still the one it was opened on: another
// process, or this one, may have deleted it since, and a new key may even have taken its row.
long checkAlive(Store& st, const OpenKey& k) {
  if (k.id < 0) return ERROR_SUCCESS;
  long long now = 0;
  const long rc = lookupKey(st, k.root, k.fold, &now);
  if (rc == ERROR_FILE_NOT_FOUND || (rc == ERROR_SUCCESS && now != k.id)) return ERROR_KEY_DELETED;
  return rc;
}

const char* textColumn(sqlite3_stmt* q, int column) {
  const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(q, column));
  return t ? t : "";
}

HKEY newHandle(State& s, OpenKey k) {
  HKEY h = s.nextHandle;
  s.nextHandle += 4;
  if (s.nextHandle >= HKEY_CLASSES_ROOT) s.nextHandle = 0x00000100;
  s.handles[h] = std::move(k);
  return h;
}

long openOrCreate(HKEY parent, std::string_view subKey, HKEY* result, bool create) {
  if (!result) return ERROR_INVALID_PARAMETER;
  State& s = state();
  std::lock_guard lock(s.mutex);
  countCall(s);
  if (long f = takeFault(s, create ? "create" : "open")) return f;
  OpenKey* base = resolve(s, parent);
  if (!base) return ERROR_INVALID_HANDLE;
  Store& st = store(s);
  if (long rc = st.ensureOpen()) return rc;
  const HKEY root = base->root;
  std::string path;
  long long id = 0;
  ReadAhead ahead;
  if (!create) {
    path = foldedPath(base->fold, subKey);
    auto& reads = lastRead(s, root);
    auto last = path.empty() ? reads.end() : reads.find(path);
    if (last == reads.end()) {
      if (long rc = lookupKey(st, root, path, &id)) return rc;
    } else {
      // The key and, in the same statement, the value last read under it.
      sqlite3_stmt* q = st.keyValue().use();
      sqlite3_bind_int64(q, 1, root);
      bindText(q, 2, path);
      bindText(q, 3, last->second);
      const int rc = sqlite3_step(q);
      if (rc != SQLITE_ROW) {
        sqlite3_reset(q);
        return rc == SQLITE_DONE ? ERROR_FILE_NOT_FOUND : ERROR_CANTREAD;
      }
      id = sqlite3_column_int64(q, 0);
      const bool found = sqlite3_column_type(q, 1) != SQLITE_NULL;
      if (!found || sqlite3_column_bytes(q, 2) <= kReadAheadLimit) {
        std::vector<std::uint8_t> data;
        if (found) {
          const auto* blob = static_cast<const std::uint8_t*>(sqlite3_column_blob(q, 2));
          data.assign(blob, blob + sqlite3_column_bytes(q, 2));
        }
        keepForNextCall(s, ahead, last->second, found, static_cast<std::uint32_t>(sqlite3_column_int64(q, 1)),
                        std::move(data));
      }
      sqlite3_reset(q);
    }
  } else {
    const std::vector<std::string> parts = components(subKey);
    path = base->fold;
    long rc = st.write([&]() -> long {
      if (long alive = checkAlive(st, *base)) return alive;
      id = base->id;
      long long parentId = id;
      for (const auto& p : parts) {
        if (!path.empty()) path += '\\';
        path += fold(p);
        long found = lookupKey(st, root, path, &id);
        if (found == ERROR_FILE_NOT_FOUND) {
          sqlite3_stmt* ins = st.insertKey().use();
          sqlite3_bind_int64(ins, 1, parentId > 0 ? parentId : 0);
          sqlite3_bind_int64(ins, 2, root);
          bindText(ins, 3, p);
          bindText(ins, 4, path);
          const int step = sqlite3_step(ins);
          sqlite3_reset(ins);
          if (step != SQLITE_DONE) return ERROR_CANTWRITE;
          id = sqlite3_last_insert_rowid(st.db());
        } else if (found != ERROR_SUCCESS) {
          return found;
        }
        parentId = id;
      }
      return ERROR_SUCCESS;
    });
    if (rc) return rc;
  }
  *result = newHandle(s, OpenKey{root, id, path, std::move(ahead)});
  return ERROR_SUCCESS;
}



long queryValue(HKEY key, std::string_view valueName, std::uint32_t* type, std::uint8_t* data,
                std::uint32_t* dataSize) {
  State& s = state();
  std::lock_guard lock(s.mutex);
  countCall(s);
  if (long f = takeFault(s, "query")) return f;
  OpenKey* k = resolve(s, key);
  if (!k) return ERROR_INVALID_HANDLE;
  if (data && !dataSize) return ERROR_INVALID_PARAMETER;
  const std::string name = fold(valueName);
  noteRead(s, *k, name);

  std::uint32_t foundType = 0;
  std::vector<std::uint8_t> found;
  if (takeReadAhead(s, k->ahead, name)) {
    if (!k->ahead.found) return ERROR_FILE_NOT_FOUND;
    foundType = k->ahead.type;
    found = std::move(k->ahead.data);
  } else {
    Store& st = store(s);
    if (long rc = st.ensureOpen()) return rc;
    // A root's values are read directly; any other key is looked up by its path in the same
    // statement, so that a handle whose key is gone reads nothing (not another key's values).
    const bool root = k->id < 0;
    sqlite3_stmt* q;
    if (root) {
      q = st.getValue().use();
      sqlite3_bind_int64(q, 1, k->id);
      bindText(q, 2, name);
    } else {
      q = st.keyValue().use();
      sqlite3_bind_int64(q, 1, k->root);
      bindText(q, 2, k->fold);
      bindText(q, 3, name);
    }
    const int rc = sqlite3_step(q);
    long result = ERROR_SUCCESS;
    if (rc != SQLITE_ROW && rc != SQLITE_DONE)
      result = ERROR_CANTREAD;
    else if (!root && (rc == SQLITE_DONE || sqlite3_column_int64(q, 0) != k->id))
      result = ERROR_KEY_DELETED;
    else if (rc == SQLITE_DONE || (!root && sqlite3_column_type(q, 1) == SQLITE_NULL))
      result = ERROR_FILE_NOT_FOUND;
    if (result != ERROR_SUCCESS) {
      sqlite3_reset(q);
      return result;
    }
    const int first = root ? 0 : 1;
    foundType = static_cast<std::uint32_t>(sqlite3_column_int64(q, first));
    const auto* blob = static_cast<const std::uint8_t*>(sqlite3_column_blob(q, first + 1));
    found.assign(blob, blob + sqlite3_column_bytes(q, first + 1));
    sqlite3_reset(q);
  }
  const long rc = handOverValue(found, foundType, type, data, dataSize);
  if (!data) keepForNextCall(s, k->ahead, name, true, foundType, std::move(found));  // for the read that follows
  return rc;
}

long setValue(HKEY key, std::string_view valueName, std::uint32_t type, const std::uint8_t* data,
              std::uint32_t dataSize) {
  State& s = state();
  std::lock_guard lock(s.mutex);
  countCall(s);
  if (long f = takeFault(s, "set")) return f;
  OpenKey* k = resolve(s, key);
  if (!k) return ERROR_INVALID_HANDLE;
  if (!data && dataSize) return ERROR_INVALID_PARAMETER;
  Store& st = store(s);
  if (long rc = st.ensureOpen()) return rc;
  return st.write([&]() -> long {
    if (long rc = checkAlive(st, *k)) return rc;
    const long long id = k->id;
    const std::string folded = fold(valueName);
    sqlite3_stmt* q = st.setValue().use();
    sqlite3_bind_int64(q, 1, id);
    bindText(q, 2, folded);
    bindText(q, 3, valueName);
    sqlite3_bind_int64(q, 4, type);
    sqlite3_bind_blob(q, 5, data ? data : reinterpret_cast<const std::uint8_t*>(""), static_cast<int>(dataSize),
                      SQLITE_STATIC);
    const int rc = sqlite3_step(q);
    sqlite3_reset(q);
    return rc == SQLITE_DONE ? ERROR_SUCCESS : ERROR_CANTWRITE;
  });
}

long deleteValue(HKEY key, std::string_view valueName) {
  State& s = state();
  std::lock_guard lock(s.mutex);
  countCall(s);
  if (long f = takeFault(s, "delete")) return f;
  OpenKey* k = resolve(s, key);
  if (!k) return ERROR_INVALID_HANDLE;
  Store& st = store(s);
  if (long rc = st.ensureOpen()) return rc;
  return st.write([&]() -> long {
    if (long rc = checkAlive(st, *k)) return rc;
    const long long id = k->id;
    Statement del(st.db(), "DELETE FROM vals WHERE key=?1 AND fold=?2");
    const std::string folded = fold(valueName);
    sqlite3_bind_int64(del.get(), 1, id);
    bindText(del.get(), 2, folded);
    if (sqlite3_step(del.get()) != SQLITE_DONE) return ERROR_CANTWRITE;
    return sqlite3_changes(st.db()) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
  });
}

long deleteKey(HKEY root, std::string_view subKey) {
  HKEY h = 0;
  if (components(subKey).empty()) return ERROR_INVALID_PARAMETER;
  if (long rc = RegOpenKeyA(root, subKey, &h)) return rc;
  State& s = state();
  std::lock_guard lock(s.mutex);
  OpenKey k = s.handles[h];
  RegCloseKey(h);
  if (long f = takeFault(s, "delete")) return f;
  Store& st = store(s);
  countCall(s);
  return st.write([&]() -> long {
    // The key as it is now, within the transaction (another process may have changed it).
    long long id = 0;
    if (long rc = lookupKey(st, k.root, k.fold, &id)) return rc;
    Statement children(st.db(), "SELECT 1 FROM keys WHERE root=?1 AND parent=?2 LIMIT 1");
    sqlite3_bind_int64(children.get(), 1, k.root);
    sqlite3_bind_int64(children.get(), 2, id);
    if (sqlite3_step(children.get()) == SQLITE_ROW) return ERROR_ACCESS_DENIED;
    Statement delVals(st.db(), "DELETE FROM vals WHERE key=?1");
    sqlite3_bind_int64(delVals.get(), 1, id);
    Statement delKey(st.db(), "DELETE FROM keys WHERE id=?1");
    sqlite3_bind_int64(delKey.get(), 1, id);
    if (sqlite3_step(delVals.get()) != SQLITE_DONE || sqlite3_step(delKey.get()) != SQLITE_DONE)
      return ERROR_CANTWRITE;
    return ERROR_SUCCESS;
  });
}

long enumKeys(HKEY key, std::vector<std::string>* names) {
  State& s = state();
  std::lock_guard lock(s.mutex);
  countCall(s);
  if (long f = takeFault(s, "query")) return f;
  OpenKey* k = resolve(s, key);
  if (!k) return ERROR_INVALID_HANDLE;
  Store& st = store(s);
  if (long rc = st.ensureOpen()) return rc;
  if (long rc = checkAlive(st, *k)) return rc;
  Statement q(st.db(), "SELECT name FROM keys WHERE root=?1 AND parent=?2 ORDER BY fold");
  sqlite3_bind_int64(q.get(), 1, k->root);
  sqlite3_bind_int64(q.get(), 2, k->id > 0 ? k->id : 0);
  names->clear();
  int rc;
  while ((rc = sqlite3_step(q.get())) == SQLITE_ROW)
    names->emplace_back(textColumn(q.get(), 0));
  return rc == SQLITE_DONE ? ERROR_SUCCESS : ERROR_CANTREAD;
}

long enumValues(HKEY key, std::vector<ValueEntry>* values) {
  State& s = state();
  std::lock_guard lock(s.mutex);
  countCall(s);
  if (long f = takeFault(s, "query")) return f;
  OpenKey* k = resolve(s, key);
  if (!k) return ERROR_INVALID_HANDLE;
  Store& st = store(s);
  if (long rc = st.ensureOpen()) return rc;
  if (long rc = checkAlive(st, *k)) return rc;
  Statement q(st.db(), "SELECT name, type, data FROM vals WHERE key=?1 ORDER BY fold");
  sqlite3_bind_int64(q.get(), 1, k->id);
  values->clear();
  int rc;
  while ((rc = sqlite3_step(q.get())) == SQLITE_ROW) {
    ValueEntry e;
    e.name = textColumn(q.get(), 0);
    e.type = static_cast<std::uint32_t>(sqlite3_column_int64(q.get(), 1));
    const auto* blob = static_cast<const std::uint8_t*>(sqlite3_column_blob(q.get(), 2));
    e.data.assign(blob, blob + sqlite3_column_bytes(q.get(), 2));
    values->push_back(std::move(e));
  }
  return rc == SQLITE_DONE ? ERROR_SUCCESS : ERROR_CANTREAD;
}

std::string failureText(long rc, const std::string& path) {
  switch (rc) {
    case ERROR_DISK_FULL:
      return "The registry store " + path + " cannot be written or read: there is not enough space on its disk.";
    case ERROR_CANTOPEN: return "The registry store " + path + " cannot be opened.";
    case ERROR_CANTREAD: return "The registry store " + path + " cannot be read.";
    case ERROR_CANTWRITE: return "The registry store " + path + " cannot be written.";
    default: return "The registry store " + path + " is damaged.";
  }
}

// What a call that failed on the store tells its caller, and the event log: lack of space is
// told apart from damage, and the first failure of the store (and each change of it) is
// written to the application event log, so that a program that shows only what it could read
// (an empty product list) leaves a word of why. A call that reaches the store clears it.
long outcome(long rc) {
  State& s = state();
  std::lock_guard lock(s.mutex);
  if (rc != ERROR_CANTOPEN && rc != ERROR_BADDB && rc != ERROR_CANTREAD && rc != ERROR_CANTWRITE &&
      rc != ERROR_DISK_FULL) {
    // Answers only the store gives; a bad handle or argument says nothing about it.
    if (rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND || rc == ERROR_MORE_DATA) s.reportedFailure = ERROR_SUCCESS;
    return rc;
  }
  if (s.store && s.store->outOfSpace()) rc = ERROR_DISK_FULL;
  if (rc != s.reportedFailure) {
    s.reportedFailure = rc;
    eventlog::write("Registry", failureText(rc, storePath()), eventlog::Type::Error);
  }
  return rc;
}

}  // namespace

long RegOpenKeyA(HKEY root, std::string_view subKey, HKEY* result) {
  return outcome(openOrCreate(root, subKey, result, false));
}

long RegOpenKeyExA(HKEY root, std::string_view subKey, std::uint32_t, std::uint32_t, HKEY* result) {
  return outcome(openOrCreate(root, subKey, result, false));
}

long RegCreateKeyA(HKEY root, std::string_view subKey, HKEY* result) {
  return outcome(openOrCreate(root, subKey, result, true));
}

long RegQueryValueExA(HKEY key, std::string_view valueName, std::uint32_t* type, std::uint8_t* data,
                      std::uint32_t* dataSize) {
  return outcome(queryValue(key, valueName, type, data, dataSize));
}

long RegSetValueExA(HKEY key, std::string_view valueName, std::uint32_t type, const std::uint8_t* data,
                    std::uint32_t dataSize) {
  return outcome(setValue(key, valueName, type, data, dataSize));
}

long RegDeleteValueA(HKEY key, std::string_view valueName) { return outcome(deleteValue(key, valueName)); }
long RegDeleteKeyA(HKEY root, std::string_view subKey) { return outcome(deleteKey(root, subKey)); }
long RegEnumKeys(HKEY key, std::vector<std::string>* names) { return outcome(enumKeys(key, names)); }
long RegEnumValues(HKEY key, std::vector<ValueEntry>* values) { return outcome(enumValues(key, values)); }

long RegFlushKey(HKEY key) {
  State& s = state();
  std::lock_guard lock(s.mutex);
  countCall(s);
  if (long f = takeFault(s, "flush")) return f;
  if (!resolve(s, key)) return ERROR_INVALID_HANDLE;
  // Every write is already committed in its own transaction; make this process's writes durable
  // in the main file, once (a flush with nothing written since the last one syncs nothing).
  Store& st = store(s);
  if (st.db()) st.checkpointOwnWrites();
  return ERROR_SUCCESS;
}

long RegCloseKey(HKEY key) {
  State& s = state();
  std::lock_guard lock(s.mutex);
  if (isRoot(key)) return ERROR_SUCCESS;
  return s.handles.erase(key) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

std::string defaultStorePath() {
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg) return std::string(xdg) + "/veltrano/registry.db";
  const char* home = std::getenv("HOME");
  return std::string(home && *home ? home : "/tmp") + "/.local/share/veltrano/registry.db";
}

std::string storePath() {
  State& s = state();
  std::lock_guard lock(s.mutex);
  if (!s.explicitPath.empty()) return s.explicitPath;
  if (const char* env = std::getenv("VELTRANO_REGISTRY"); env && *env) return env;
  return defaultStorePath();
}

void removeStore(std::string_view path) {
  if (path.empty()) return;
  std::error_code ec;
  for (const char* suffix : {"", "-wal", "-shm", "-journal"})
    std::filesystem::remove(std::string(path) + suffix, ec);
}

void useStore(std::string path) {
  State& s = state();
  std::lock_guard lock(s.mutex);
  s.store.reset();
  s.handles.clear();
  countCall(s);  // nothing read ahead from the old store is taken
  for (auto& byRoot : s.lastRead) byRoot.clear();
  s.explicitPath = std::move(path);
  s.reportedFailure = ERROR_SUCCESS;  // a new store is reported afresh
}

}  // namespace veltrano::reg
