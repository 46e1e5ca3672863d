"""HTTP caching of the public pages.

A page for a reader who is not signed in is the same for every such reader:
it carries a strong ETag made from its body, so it changes exactly when what
the page shows changes, answers a matching conditional request with 304, and
lets shared caches keep it for `cache_seconds`. The page's language makes
the body, so each language has its own ETag, and `Vary: Accept-Language,
Cookie` (the language's two sources, see i18n.py) keeps a shared cache from
handing one language's copy to a reader of the other. `Vary: Cookie` also
keeps a shared cache from handing that copy to a signed-in reader, whose pages carry their
name and form tokens and are never stored anywhere: a request with a session
gets `private, no-store`, no validator and never a 304.
"""

from __future__ import annotations

import hashlib

from flask import Response, current_app, request, session

PRIVATE = "private, no-store"


def personal() -> bool:
    """Whether the request carries a session (a signed-in user, or one on
    the way to signing in): the same test as the site's header hook, so the
    two never disagree about a page."""
    return bool(session)


def public_response(resp: Response) -> Response:
    """After-request hook of the public blueprints."""
    resp.vary.add("Cookie")
    if personal():
        resp.headers["Cache-Control"] = PRIVATE
        resp.headers.pop("ETag", None)
        resp.headers.pop("Last-Modified", None)
        return resp
    if (
        request.method not in ("GET", "HEAD")
        or resp.status_code != 200
        or resp.direct_passthrough
        or "Set-Cookie" in resp.headers
    ):
        return resp
    seconds = max(current_app.config["PTOLIX"].cache_seconds, 0)
    resp.headers["Cache-Control"] = f"public, max-age={seconds}"
    resp.set_etag(hashlib.blake2b(resp.get_data(), digest_size=16).hexdigest())
    return resp.make_conditional(request)
