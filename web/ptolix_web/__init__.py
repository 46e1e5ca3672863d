"""The newsroom web front of Ptolix: public pages that list and show
published items, and the staff desk where people sign in, write, review,
order and manage. Everything lives in the database through the Ptolix
classes; the site itself keeps only sessions."""

from __future__ import annotations

from datetime import timedelta

from flask import Flask, render_template, request, session
from flask.globals import request_ctx
from werkzeug.exceptions import HTTPException, MethodNotAllowed
from werkzeug.middleware.proxy_fix import ProxyFix
from flask_babel import gettext as _

import ptolix

from . import i18n, lib, richtext, schedule, site_tables
from .config import Settings, _int
from .errors import http_texts
from .security import Limit, SignInThrottle, csrf_token
from .sessions import ServerSessionInterface, SessionStore
from .text import format_date, paragraphs, safe_url
from .visibility import is_hidden, is_marked


# What a 503 asks clients to wait before they try again.
RETRY_AFTER_SECONDS = 5
UNAVAILABLE = (lib.Unavailable, ptolix.DatabaseError)


def create_app(overrides: dict | None = None) -> Flask:
    """The application; `overrides` replaces settings read from the environment."""
    settings = Settings.from_env(overrides)
    app = Flask(__name__)
    # Behind nginx every request comes from the proxy: with PTOLIX_PROXIES=N,
    # the client's address (sign-in throttling, the session record) and
    # scheme are what the N proxies in front added to X-Forwarded-For and
    # X-Forwarded-Proto; what a client wrote there itself is not believed.
    proxies = _int("PTOLIX_PROXIES", 0)
    if proxies > 0:
        app.wsgi_app = ProxyFix(app.wsgi_app, x_for=proxies, x_proto=proxies)  # type: ignore
    app.secret_key = settings.secret
    app.config.update(
        PTOLIX=settings,
        # A form may carry several files; each is held to upload_mb on its own.
        MAX_CONTENT_LENGTH=(3 * settings.upload_mb + 1) * 1024 * 1024,
        MAX_FORM_MEMORY_SIZE=1024 * 1024,
        SESSION_COOKIE_NAME="ptolix_session",
        SESSION_COOKIE_SECURE=settings.secure_cookies,
        PERMANENT_SESSION_LIFETIME=timedelta(minutes=settings.session_minutes),
    )

    def site_conn():
        return site_tables.connection(settings.db_url)

    app.session_interface = ServerSessionInterface(
        SessionStore(site_conn, timedelta(minutes=settings.session_minutes))
    )
    base, ceiling = settings.lock_seconds, settings.lock_max_seconds
    app.extensions["ptolix_throttle"] = SignInThrottle(
        site_conn,
        pair=Limit(settings.free_failures, base, ceiling),
        address=Limit(settings.address_free_failures, base, ceiling),
        user=Limit(settings.user_free_failures, base, ceiling),
    )
    i18n.setup(app)
    app.jinja_env.globals.update(csrf_token=csrf_token)
    from .items import display_name

    app.jinja_env.filters.update(
        date=format_date,
        paragraphs=paragraphs,
        safe_url=safe_url,
        text=lib.as_text,
        rich=richtext.render,
        byline=display_name,
    )

    from .admin import bp as admin_bp
    from .auth import bp as auth_bp
    from .desk import bp as desk_bp
    from .editing import bp as editing_bp
    from .feeds import bp as feeds_bp
    from .media import bp as media_bp
    from .public import bp as public_bp
    from .search import bp as search_bp
    from .search import desk_bp as desk_search_bp
    from .visibility import bp as visibility_bp

    app.register_blueprint(public_bp)
    app.register_blueprint(search_bp)
    app.register_blueprint(feeds_bp)
    app.register_blueprint(auth_bp)
    app.register_blueprint(desk_bp, url_prefix="/desk")
    app.register_blueprint(desk_search_bp, url_prefix="/desk")
    app.register_blueprint(visibility_bp, url_prefix="/desk")
    app.register_blueprint(editing_bp, url_prefix="/desk")
    app.register_blueprint(media_bp)

    schedule.ensure_running(settings.db_url, settings.schedule_seconds)

    @app.before_request
    def scheduler():
        # Started in the worker that serves, after any fork of a preloading server.
        schedule.ensure_running(settings.db_url, settings.schedule_seconds)

    app.register_blueprint(admin_bp, url_prefix="/desk/admin")
    app.jinja_env.globals.update(column_marked=is_marked, column_hidden=is_hidden)

    def unavailable(e: Exception):
        lib.drop_connection(settings.db_url)
        app.logger.error("database unavailable on %s: %s", request.path, e)
        if request_ctx.session is None:
            # The session could not be read: the page goes out without one,
            # and nothing tries to save it.
            request_ctx.session = app.session_interface.make_null_session(app)
        resp = app.make_response(
            (
                render_template(
                    "error.html",
                    code=503,
                    title=_("Service Unavailable"),
                    message=_(
                        "The database cannot be reached just now. "
                        "Please try again in a few seconds."
                    ),
                ),
                503,
            )
        )
        resp.headers["Retry-After"] = str(RETRY_AFTER_SECONDS)
        resp.headers["Cache-Control"] = "no-store"
        return resp

    @app.errorhandler(HTTPException)
    def http_error(e: HTTPException):
        # A failure while the request was set up (the session is read before
        # any view runs) reaches Flask's 500 handling, not the handlers below.
        if isinstance(getattr(e, "original_exception", None), UNAVAILABLE):
            return unavailable(e.original_exception)
        title, message = http_texts(e)
        return render_template("error.html", code=e.code, title=title, message=message), e.code

    # A connection that cannot be opened, or a call that found it lost.
    app.register_error_handler(lib.Unavailable, unavailable)
    app.register_error_handler(ptolix.DatabaseError, unavailable)

    @app.errorhandler(Exception)
    def unexpected(e: Exception):
        app.logger.exception("unexpected failure on %s", request.path)
        return (
            render_template(
                "error.html",
                code=500,
                title=_("Internal Server Error"),
                message=_("Something went wrong on our side."),
            ),
            500,
        )

    @app.after_request
    def headers(resp):
        resp.headers.setdefault("X-Content-Type-Options", "nosniff")
        resp.headers.setdefault("X-Frame-Options", "DENY")
        resp.headers.setdefault("Referrer-Policy", "same-origin")
        resp.headers.setdefault(
            "Content-Security-Policy",
            "default-src 'self'; img-src 'self' https: http: data:; "
            "form-action 'self'; base-uri 'self'",
        )
        refused = request.routing_exception
        if resp.status_code == 405 and isinstance(refused, MethodNotAllowed):
            resp.headers.setdefault("Allow", ", ".join(sorted(refused.valid_methods or [])))
        if request.endpoint != "static":
            # Pages carry the signed-in user's name and the session's form
            # token: no shared cache may keep them.
            resp.vary.add("Cookie")
            if session:
                resp.headers["Cache-Control"] = "private, no-store"
        return resp

    return app
