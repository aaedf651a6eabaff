#include "Routes.h"

#include "text/TextHelpers.h"

namespace strivo::sim {
namespace {

void ResizeBody(std::string& body, std::size_t size) {
    if (body.size() >= size) {
        body.resize(size);
        return;
    }
    const std::size_t extra = size - body.size();
    constexpr std::size_t commentFrame = 7;  // "<!--" and "-->"
    if (extra >= commentFrame) {
        body += "<!--" + std::string(extra - commentFrame, '.') + "-->";
    } else {
        body.append(extra, ' ');
    }
}

Reply StatusReply(int status) {
    const std::string code = std::to_string(status);
    return Reply{status,
                 "text/html",
                 "<html><head><title>" + code + "</title></head><body><h1>Status " + code +
                     "</h1></body></html>\n",
                 {}};
}

}  // namespace

void Routes::Handle(const std::string& method, const std::string& path, RouteHandler handler) {
    m_routes[{method, path}] = std::move(handler);
}

void Routes::Inspect(const std::string& path, std::function<std::string()> json) {
    m_inspection[path] = std::move(json);
}

Reply Routes::Dispatch(const LoggedRequest& request) const {
    const std::string method = request.method == "HEAD" ? "GET" : request.method;
    const auto route = m_routes.find({method, request.path});
    if (route != m_routes.end()) {
        return route->second(request);
    }
    std::string allowed;
    for (const auto& [key, handler] : m_routes) {
        if (key.second == request.path) {
            allowed += allowed.empty() ? key.first : ", " + key.first;
        }
    }
    if (allowed.empty()) {
        return StatusReply(404);
    }
    Reply reply = StatusReply(405);
    reply.headers.emplace_back("Allow", allowed);
    return reply;
}

Answer Routes::Respond(LoggedRequest request,
                       const std::function<void(std::chrono::milliseconds)>& wait) const {
    request.secure = m_secure;
    Answer answer;
    const auto inspection = m_inspection.find(request.path);
    if (inspection != m_inspection.end() && (request.method == "GET" || request.method == "HEAD")) {
        answer.reply = Reply{200, "application/json; charset=utf-8", inspection->second(), {}};
        return answer;
    }

    const Fault faults = m_faults.Take(request.path, request.query);
    if (faults.delay.count() > 0) {
        wait(faults.delay);
    }
    Reply reply;
    if (!faults.location.empty()) {
        reply = StatusReply(faults.status != 0 ? faults.status : 302);
        reply.headers.emplace_back("Location", faults.location);
    } else if (faults.status != 0 || faults.redirectLoop) {
        reply = StatusReply(faults.status != 0 ? faults.status : 302);
        if (faults.status == 0) {
            reply.headers.emplace_back("Location", request.query.empty()
                                                       ? request.path
                                                       : request.path + "?" + request.query);
        }
    } else if (faults.signInPage) {
        // The page a browser would be shown, from the site's own handler.
        LoggedRequest form = request;
        form.method = "GET";
        form.path = "/logging.php";
        form.query = "action=login";
        form.body.clear();
        reply = Dispatch(form);
    } else {
        reply = Dispatch(request);
    }
    if (!faults.retryAfter.empty()) {
        reply.headers.emplace_back("Retry-After", faults.retryAfter);
    }
    if (faults.bodySize != 0) {
        ResizeBody(reply.body, faults.bodySize);
    }
    if (faults.cutAfterBytes != 0 && reply.body.size() > faults.cutAfterBytes) {
        reply.body.resize(faults.cutAfterBytes);
    }

    // Logged before the answer goes out, so a client that has its answer
    // finds its request in the log.
    request.status = faults.drop ? 0 : reply.status;
    m_log.Add(std::move(request));
    return Answer{std::move(reply), faults};
}

std::string MarkupEscape(std::string_view text) {
    std::string out;
    AppendMarkupEscaped(out, text, /*forXml=*/false);
    return out;
}

}  // namespace strivo::sim
