#pragma once
// The client's proxy of the data service: one blocking call per remote operation, over HTTP
// with keep-alive, carrying the session token that CheckLoginUser obtained.

#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "vlt/errors.h"
#include "vlt/idalloc.h"
#include "vlt/packet.h"

namespace vlt {

// A call that failed: the service's message, or "Connection refused ..." when the service
// cannot be reached. `httpStatus` is 0 when no answer came.
class RemoteError : public Error {
 public:
  RemoteError(int httpStatus, const std::string& message)
      : Error(message), httpStatus_(httpStatus) {}
  int httpStatus() const { return httpStatus_; }
  bool sessionExpired() const { return httpStatus_ == 401; }

 private:
  int httpStatus_;
};

// The operations are virtual so that window tests can record and answer them.
class TServerMethodsClient {
 public:
  // `baseUrl` such as "http://127.0.0.1:8700".
  explicit TServerMethodsClient(const std::string& baseUrl);
  virtual ~TServerMethodsClient();

  // True when the login ID and password are valid; the session is then kept for later calls.
  virtual bool CheckLoginUser(const std::string& userId, const std::string& password);
  virtual void Logout();
  bool SignedIn() const { return !token_.empty(); }

  virtual Packet GetSysMainDBDataBySql(const std::string& userId, const std::string& sql);
  virtual std::string doSysMainDBDataBySql(const std::string& sql);
  virtual std::string SaveSysMainDataBySql(const std::string& userId, const std::string& select,
                                           const Delta& delta);
  virtual Packet GetUserDBDataBySql(const std::string& userDbId, const std::string& sql);
  // The same operation with the packet handed to `sink` while it arrives (a large list is
  // then put in place during the transfer instead of after it). On failure the sink may have
  // been given part of the rows.
  virtual void StreamUserDBDataBySql(const std::string& userDbId, const std::string& sql,
                                     PacketSink& sink);
  virtual std::string doUserDBDataBySql(const std::string& userDbId, const std::string& sql);
  virtual std::string SaveUserDBDataByDelta(const std::string& userDbId, const std::string& table,
                                            const std::string& keyFields, const Delta& delta);
  virtual bool CheckValueIsExistBySql(const std::string& userDbId, const std::string& sql);
  // Nothing when the master statement found no row (an empty stream).
  virtual std::optional<Packet> GetMasterAndDetailData(const std::string& userDbId,
                                                       const std::string& masterTable,
                                                       const std::string& masterSql,
                                                       const std::string& detailSql);
  virtual std::string SaveMasterAndDetailData(const std::string& userDbId,
                                              const std::string& masterTable, const Delta& delta);
  virtual std::string GetBill_MaxBcode(const std::string& userDbId, const std::string& prefix,
                                       const std::string& table, const std::string& billDate);
  virtual Packet GetRegisUserInfo(const std::string& userId);
  virtual std::string CreateUserDB(const std::string& main, const std::string& userId,
                                   const std::string& userDbId, const std::string& userDbName,
                                   const std::string& isDefault);
  // A block of ids for an IdAllocator.
  virtual IdBlock GetNewIDBlock();

  // The same reads started now and answered later: each runs on a connection of its own, on a
  // thread of its own, while this client makes other calls (a report's total beside its rows).
  // The future gives the packet or throws the call's failure; it waits for the call when it is
  // dropped unasked.
  virtual std::future<Packet> GetUserDBDataBySqlAside(const std::string& userDbId,
                                                      const std::string& sql);
  virtual std::future<Packet> GetSysMainDBDataBySqlAside(const std::string& userId,
                                                         const std::string& sql);

 private:
  std::string call(const std::string& operation, const std::string& body);
  // A client on a connection of its own with this one's session, made when first needed.
  TServerMethodsClient& aside();
  struct Impl;
  std::unique_ptr<Impl> impl_;
  std::mutex mutex_;
  std::string token_;
  std::mutex asideMutex_;
  std::unique_ptr<TServerMethodsClient> aside_;
};

}  // namespace vlt
