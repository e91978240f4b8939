#include "platform/CurlInternet.h"

namespace curlnet {

unsigned long MapCurlCode(CURLcode code, TransferWatch::Stop stop)
{
    switch (code) {
        case CURLE_OK:
            return 0;
        case CURLE_ABORTED_BY_CALLBACK:
            // Our own progress callback is the only one that aborts.
            return stop == TransferWatch::Stop::Stalled || stop == TransferWatch::Stop::OutOfWaiting
                       ? inet::kErrTimeout
                       : inet::kErrOperationCancelled;
        case CURLE_OPERATION_TIMEDOUT:
        case CURLE_FTP_ACCEPT_TIMEOUT:
            return inet::kErrTimeout;
        case CURLE_UNSUPPORTED_PROTOCOL:
            return inet::kErrUnrecognizedScheme;
        case CURLE_URL_MALFORMAT:
            return inet::kErrInvalidUrl;
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_RESOLVE_PROXY:
            return inet::kErrNameNotResolved;
        case CURLE_COULDNT_CONNECT:
        case CURLE_FTP_ACCEPT_FAILED:
        case CURLE_INTERFACE_FAILED:
            return inet::kErrCannotConnect;
        // A 530 does not say whether the name or the password was wrong: the generic login failure.
        case CURLE_LOGIN_DENIED:
        case CURLE_FTP_WEIRD_PASS_REPLY:
            return inet::kErrLoginFailure;
        // The server answered with an error reply: the first platform's "extended error".
        case CURLE_REMOTE_ACCESS_DENIED:
        case CURLE_REMOTE_FILE_NOT_FOUND:
        case CURLE_FTP_COULDNT_RETR_FILE:
        case CURLE_UPLOAD_FAILED:
        case CURLE_QUOTE_ERROR:
        case CURLE_REMOTE_DISK_FULL:
        case CURLE_REMOTE_FILE_EXISTS:
        case CURLE_FTP_COULDNT_SET_TYPE:
        case CURLE_FTP_COULDNT_USE_REST:
        case CURLE_FTP_PORT_FAILED:
        case CURLE_FTP_PRET_FAILED:
        case CURLE_FTP_WEIRD_PASV_REPLY:
        case CURLE_FTP_WEIRD_227_FORMAT:
        case CURLE_FTP_CANT_GET_HOST:
        case CURLE_WEIRD_SERVER_REPLY:
        case CURLE_RANGE_ERROR:
        case CURLE_BAD_DOWNLOAD_RESUME:
        case CURLE_FILESIZE_EXCEEDED:
        case CURLE_HTTP_RETURNED_ERROR:
        case CURLE_TOO_MANY_REDIRECTS:
            return inet::kErrExtended;
        // A transfer cut short: the data connection ended before the whole file had moved.
        case CURLE_PARTIAL_FILE:
            return inet::kErrConnectionAborted;
        // The control connection went away under us.
        case CURLE_GOT_NOTHING:
        case CURLE_SEND_ERROR:
        case CURLE_RECV_ERROR:
            return 12111;
        case CURLE_NO_CONNECTION_AVAILABLE:
            return inet::kErrOutOfHandles;
        case CURLE_PROXY:
            return 12020;
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CERTPROBLEM:
        case CURLE_SSL_CIPHER:
        case CURLE_SSL_CACERT_BADFILE:
        case CURLE_USE_SSL_FAILED:
        case CURLE_SSL_ENGINE_NOTFOUND:
        case CURLE_SSL_ENGINE_SETFAILED:
        case CURLE_SSL_CRL_BADFILE:
        case CURLE_SSL_ISSUER_ERROR:
        case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
        case CURLE_SSL_INVALIDCERTSTATUS:
        case CURLE_SSL_SHUTDOWN_FAILED:
            return inet::kErrSecureFailure;
        default:
            // Local failures (out of memory, a local file that cannot be read or written, a bad
            // option) have no sentence of their own.
            return inet::kErrInternal;
    }
}

std::string DescribeFailure(CURLcode code, TransferWatch::Stop stop, long stallMs,
                            const char* errorBuffer, const std::string& lastReply)
{
    if (code == CURLE_ABORTED_BY_CALLBACK && stop == TransferWatch::Stop::Stalled)
        return "Operation timed out: nothing received or sent for " + std::to_string(stallMs) +
               " ms";
    if (code == CURLE_ABORTED_BY_CALLBACK && stop == TransferWatch::Stop::OutOfWaiting)
        return "Operation timed out: the servers kept this cycle waiting too long";
    if (code == CURLE_ABORTED_BY_CALLBACK)
        return "Operation cancelled";
    std::string text = errorBuffer && *errorBuffer ? errorBuffer : curl_easy_strerror(code);
    // The server's own words ("530 Login incorrect.") tell the user more than a reply code.
    const bool serverError = !lastReply.empty() && (lastReply[0] == '4' || lastReply[0] == '5');
    if (serverError && text.find(lastReply) == std::string::npos)
        text += " - server said: " + lastReply;
    return text;
}

std::string PlainCause(CURLcode code, TransferWatch::Stop stop)
{
    switch (code) {
        case CURLE_ABORTED_BY_CALLBACK:
            if (stop == TransferWatch::Stop::Stalled)
                return "the server stopped answering";
            return stop == TransferWatch::Stop::OutOfWaiting ? "the server was too slow"
                                                             : "cancelled";
        case CURLE_OPERATION_TIMEDOUT:
            return "the server was too slow";
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_RESOLVE_PROXY:
            return "the server's name was not found";
        case CURLE_COULDNT_CONNECT:
            return "the server refused the connection or cannot be reached";
        case CURLE_GOT_NOTHING:
        case CURLE_RECV_ERROR:
        case CURLE_SEND_ERROR:
        case CURLE_PARTIAL_FILE:
            return "the server closed the connection";
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CACERT_BADFILE:
        case CURLE_SSL_ISSUER_ERROR:
        case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
        case CURLE_SSL_INVALIDCERTSTATUS:
            return "the certificate was not accepted";
        case CURLE_SSL_CONNECT_ERROR:
            return "the secure connection failed";
        case CURLE_WRITE_ERROR:
            return "the answer was too long";
        default:
            return curl_easy_strerror(code);
    }
}

}  // namespace curlnet
