#pragma once

#include <string>

// Why a download failed. Codes follow the original platform's URL-loading error codes.
struct NSError {
    std::string domain;
    long code = 0;
    std::string localizedDescription;
};

inline constexpr const char* NSURLErrorDomain = "NSURLErrorDomain";

inline constexpr long NSURLErrorUnknown = -1;
inline constexpr long NSURLErrorCancelled = -999;
inline constexpr long NSURLErrorTimedOut = -1001;
inline constexpr long NSURLErrorUnsupportedURL = -1002;
inline constexpr long NSURLErrorCannotFindHost = -1003;
inline constexpr long NSURLErrorCannotConnectToHost = -1004;
inline constexpr long NSURLErrorNetworkConnectionLost = -1005;
inline constexpr long NSURLErrorHTTPTooManyRedirects = -1007;
inline constexpr long NSURLErrorBadServerResponse = -1011;
inline constexpr long NSURLErrorUserAuthenticationRequired = -1013;
inline constexpr long NSURLErrorDataLengthExceedsMaximum = -1103;
inline constexpr long NSURLErrorSecureConnectionFailed = -1200;
inline constexpr long NSURLErrorCannotCreateFile = -3000;
inline constexpr long NSURLErrorCannotWriteToFile = -3003;
inline constexpr long NSURLErrorCannotMoveFile = -3005;
