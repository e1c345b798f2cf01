#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/Clock.h"
#include "platform/HidSystem.h"

namespace platform {

// The device side of the feature-report protocol: a keyboard (group A) or mouse (group B) of the
// supported family, as its boot firmware answers on interface 2. It is a plain object, reached
// through SetFeature/GetFeature from whatever carries the reports (SimulatedHidSystem in process,
// an emulated hidraw node elsewhere). Every public member is thread-safe.
//
// What it does:
//  - acknowledges every request with code 20, the request's sequence number and a status word
//    (0 when the request was accepted, otherwise one of SimulatedStatus);
//  - after command 17 makes a response readable on the read after the acknowledgement: code 21,
//    the next sequence number, then major, minor, patch and model code;
//  - takes the host's acknowledgement of a response (code 20) without answering it;
//  - refuses everything but the unlock (19) until unlocked with its group's access code;
//  - records the transfer header (8) and the blocks (9), which must come in index order (a
//    repeat of the last block, sent again because its acknowledgement was lost, is acknowledged
//    and not recorded twice);
//  - once the host has read the good acknowledgement of the last block, it reprograms: it goes
//    away (I/O fails with ENODEV) and asks its host, through the departure handler, to report
//    the removal and to call PowerOn() after `restartMs`. It comes back locked, with
//    `versionAfterUpgrade`.
//  - records every request it received, so tests can tell what was (or was not) sent.

enum class SimulatedGroup { A, B };  // A: keyboard, B: mouse

struct SimulatedVersion {
  std::uint8_t major = 0;
  std::uint8_t minor = 0;
  std::uint8_t patch = 0;
  friend bool operator==(const SimulatedVersion&, const SimulatedVersion&) = default;
};

// Non-zero status words of an acknowledgement, by the reason the request was refused.
enum SimulatedStatus : std::uint16_t {
  kStatusAccepted = 0x0000,
  kStatusLocked = 0x0001,          // anything but an unlock before a successful unlock
  kStatusWrongAccessCode = 0x0002,
  kStatusBadCheckWord = 0x0003,
  kStatusUnknownCommand = 0x0004,
  kStatusBadHeader = 0x0005,
  kStatusNoTransfer = 0x0006,      // a block without an accepted header
  kStatusBlockOutOfOrder = 0x0007,
};

// Counts and triggers of the fault options.
constexpr int kForever = -1;
constexpr int kAnyCommand = -1;

// Failing feature-report writes or reads. Inactive while `error` is 0.
struct SimulatedIoFailure {
  int error = 0;                 // errno the call returns
  int count = kForever;          // how many calls fail once triggered
  int fromCommand = kAnyCommand; // triggered by a request with this code (kAnyCommand: at once)
  int fromBlock = -1;            // with fromCommand 9: only from this block index on
};

enum class SimulatedBadAck { WrongCode, WrongSequence, NonZeroStatus, WrongCheckWord };

// Fault injection; options combine.
struct SimulatedFaults {
  // The next `badAcknowledgements` reads that would return an acknowledgement (to requests with
  // code `badAcknowledgementCommand`, or any) return a spoilt one instead. kForever: every one.
  int badAcknowledgements = 0;
  SimulatedBadAck badAcknowledgementKind = SimulatedBadAck::WrongSequence;
  int badAcknowledgementCommand = kAnyCommand;

  SimulatedIoFailure writeFailure;  // SetFeature
  SimulatedIoFailure readFailure;   // GetFeature; triggered by the last request received

  bool noResponse = false;              // after 17, reads keep returning the acknowledgement
  bool responseWrongSequence = false;   // the response carries a sequence number one too far
  bool stallAcknowledgements = false;   // reads return an empty frame (code 0), never an answer

  int removeAtBlock = -1;               // unplugged when this block index arrives; not back
  bool neverComesBack = false;          // reprograms, but never powers on again
  bool comesBackWithOldVersion = false;
  std::optional<std::uint16_t> comesBackWithProductId;
};

struct SimulatedDeviceConfig {
  SimulatedGroup group = SimulatedGroup::A;
  std::uint16_t productId = 0x0076;
  SimulatedVersion firmware{5, 0, 0};
  std::uint8_t modelCode = 5;
  SimulatedVersion versionAfterUpgrade{6, 0, 0};
  Millis restartMs = 3000;  // from the departure after the last block to the power-on
  SimulatedFaults faults;
};

// A request as the device received it.
struct SimulatedRequest {
  std::uint8_t code = 0;
  std::uint8_t sequence = 0;
  std::array<std::uint8_t, 59> payload{};
  bool checkWordValid = true;
};

struct SimulatedTransferHeader {
  std::uint16_t length = 0;      // L: bytes the blocks carry in all
  std::uint32_t blockCount = 0;  // N
  std::uint8_t blockSize = 0;    // B
};

// How the device leaves its host.
struct SimulatedDeparture {
  std::optional<Millis> powerOnAfter;  // when to call PowerOn(); empty: it stays away
};

class SimulatedDevice {
 public:
  static constexpr std::uint16_t kVendorId = 0x2D9B;
  static constexpr int kProtocolInterface = 2;
  static constexpr const char* kGroupAAccessCode = "QX7TJ2WNRB5KHD9ZVL3MFA8PCY4GE6US";
  static constexpr const char* kGroupBAccessCode = "HB3NZ8QTWK5RXD2VJM7LCF9PYA4GS6EU";

  explicit SimulatedDevice(const SimulatedDeviceConfig& config);
  SimulatedDevice(const SimulatedDevice&) = delete;
  SimulatedDevice& operator=(const SimulatedDevice&) = delete;

  // One feature-report transfer on report id 0. Return 0 or an errno: ENODEV while the device is
  // away, or an injected failure. `incarnation`, when given, is the Incarnation() the caller
  // opened: a handle from before a departure keeps failing with ENODEV after the device is back.
  int SetFeature(const FeatureReport& report, std::optional<std::uint64_t> incarnation = {});
  int GetFeature(FeatureReport& report, std::optional<std::uint64_t> incarnation = {});

  // Called when the device goes away by itself (after reprogramming, or an injected removal),
  // on the thread whose transfer caused it, with no lock of the device held. The host reports
  // the removal and, if asked, calls PowerOn() later.
  void SetDepartureHandler(std::function<void(const SimulatedDeparture&)> handler);

  // Taken away / put back by the host. Power-on after reprogramming applies the new version
  // (and product id, if a fault says so). Either way the device starts locked with no transfer.
  void PowerOff();
  void PowerOn();

  void SetFaults(const SimulatedFaults& faults);

  // Observations.
  bool Present() const;
  bool Unlocked() const;
  std::uint64_t Incarnation() const;  // changes whenever the device goes away
  SimulatedGroup Group() const;
  std::uint16_t ProductId() const;
  SimulatedVersion Version() const;
  std::uint8_t ModelCode() const;
  Millis RestartMs() const;
  std::vector<SimulatedRequest> Requests() const;  // every request received, in order
  std::optional<SimulatedTransferHeader> Header() const;  // the last accepted one
  std::vector<std::uint8_t> ReceivedImage() const;  // the bytes of the accepted blocks, in order
  std::uint32_t BlocksReceived() const;
  int WriteCalls() const;  // SetFeature calls, failed ones included
  int ReadCalls() const;   // GetFeature calls, failed ones included
  int Reprogrammings() const;

 private:
  enum class Pending { Nothing, Acknowledgement, Response };

  bool Usable(std::optional<std::uint64_t> incarnation) const;
  bool WriteFails(const FeatureReport& report, int& error);
  bool ReadFails(int& error);
  std::optional<SimulatedDeparture> Receive(const FeatureReport& report);
  std::uint16_t Handle(const SimulatedRequest& request);
  std::uint16_t Unlock(const SimulatedRequest& request);
  std::uint16_t StartTransfer(const SimulatedRequest& request);
  std::uint16_t WriteBlock(const SimulatedRequest& request);
  // Returns whether the device now takes the acknowledgement as delivered.
  bool BuildAcknowledgement(FeatureReport& out);
  void BuildResponse(FeatureReport& out) const;
  SimulatedDeparture Depart(bool reprogrammed);

  mutable std::mutex mutex_;
  SimulatedDeviceConfig config_;
  std::function<void(const SimulatedDeparture&)> departureHandler_;

  bool present_ = true;
  std::uint64_t incarnation_ = 1;
  bool unlocked_ = false;
  bool reprogrammed_ = false;

  // The last request and what the next read returns.
  SimulatedRequest last_;
  std::uint16_t lastStatus_ = kStatusAccepted;
  Pending pending_ = Pending::Nothing;
  bool responseOwed_ = false;  // after 17: the response follows the acknowledgement
  bool reprogramAfterAck_ = false;
  bool readFailureTriggered_ = false;
  bool writeFailureTriggered_ = false;

  std::optional<SimulatedTransferHeader> header_;  // the last accepted header
  bool transferOpen_ = false;  // blocks are taken
  std::uint32_t nextBlock_ = 0;
  std::vector<std::uint8_t> image_;

  std::vector<SimulatedRequest> requests_;
  int writeCalls_ = 0;
  int readCalls_ = 0;
  int reprogrammings_ = 0;
};

}  // namespace platform
