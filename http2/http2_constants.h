#pragma once
// Wire codes, flags, settings identifiers and the name tables shared by the
// frame layer, HPACK, streams and the server connection.
#include <array>
#include <cstdint>
#include <string_view>

namespace zor {

enum Th2FrameType : uint8_t {
  h2ftDATA = 0,
  h2ftHEADERS = 1,
  h2ftPRIORITY = 2,
  h2ftRST_STREAM = 3,
  h2ftSETTINGS = 4,
  h2ftPUSH_PROMISE = 5,
  h2ftPING = 6,
  h2ftGOAWAY = 7,
  h2ftWINDOW_UPDATE = 8,
  h2ftCONTINUATION = 9,
  h2ftUNKNOWN = 10,
};

enum Th2ErrorCodes : uint32_t {
  h2erNO_ERROR = 0,
  h2erPROTOCOL_ERROR = 1,
  h2erINTERNAL_ERROR = 2,
  h2erFLOW_CONTROL_ERROR = 3,
  h2erSETTINGS_TIMEOUT = 4,
  h2erSTREAM_CLOSED = 5,
  h2erFRAME_SIZE_ERROR = 6,
  h2erREFUSED_STREAM = 7,
  h2erCANCEL = 8,
  h2erCOMPRESSION_ERROR = 9,
  h2erCONNECT_ERROR = 10,
  h2erENHANCE_YOUR_CALM = 11,
  h2erINADEQUATE_SECURITY = 12,
  h2erHTTP_1_1_REQUIRED = 13,
};

enum Th2ErrorResponse : uint8_t { h2errGO_AWAY, h2errRST_STREAM };

enum Th2FrameRole : uint8_t { h2frClientRead, h2frClientWrite, h2frServerRead, h2frServerWrite };

enum Th2Methods : uint8_t {
  h2meHead,
  h2meGet,
  h2mePost,
  h2meOptions,
  h2meTrace,
  h2mePut,
  h2meDelete,
  h2meConnect,
  h2mePatch,
};

inline constexpr std::array<std::string_view, 9> Th2MethodNames = {
    "HEAD", "GET", "POST", "OPTIONS", "TRACE", "PUT", "DELETE", "CONNECT", "PATCH"};

inline constexpr std::array<std::string_view, 5> Th2PseudoHeaderNames = {":method", ":scheme", ":path",
                                                                         ":authority", ":status"};

inline constexpr std::array<std::string_view, 5> Th2ConnectionHeaderNames = {
    "connection", "keep-alive", "proxy-connection", "transfer-encoding", "upgrade"};

// The 24 octets a client sends before its first frame.
inline constexpr std::string_view Th2ConnectionPreface = "PRI * HTTP/2.0\r\n\r\nSM\r\n\r\n";

inline constexpr size_t h2FrameHeaderLength = 9;
// Every peer accepts frames of this size; larger ones need its SETTINGS.
inline constexpr uint32_t h2DefaultMaxFrameSize = 16384;
inline constexpr uint32_t h2LargestMaxFrameSize = 16777215;
inline constexpr uint32_t h2MaxWindowSize = 2147483647;

namespace h2flags {
inline constexpr uint8_t END_STREAM = 0x1;
inline constexpr uint8_t ACK = 0x1;
inline constexpr uint8_t END_HEADERS = 0x4;
inline constexpr uint8_t PADDED = 0x8;
inline constexpr uint8_t PRIORITY = 0x20;
}  // namespace h2flags

enum Th2SettingsIdentifier : uint16_t {
  h2siHEADER_TABLE_SIZE = 1,
  h2siENABLE_PUSH = 2,
  h2siMAX_CONCURRENT_STREAMS = 3,
  h2siINITIAL_WINDOW_SIZE = 4,
  h2siMAX_FRAME_SIZE = 5,
  h2siMAX_HEADER_LIST_SIZE = 6,
  h2siENABLE_CONNECT_PROTOCOL = 8,
};

}  // namespace zor
