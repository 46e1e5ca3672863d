"""gunicorn settings of the newsroom site, read by scripts/web.sh and by the
systemd service (`gunicorn -c deploy/gunicorn.conf.py 'ptolix_web:create_app()'`).

Every worker process runs requests on its threads, each thread with its own
database connection, so a site uses workers x threads connections at most.
Sessions live in the site's tables in the database, so any worker serves
any request.
"""

import multiprocessing
import os

# PTOLIX_BIND: an address:port or unix:/path (the systemd socket unit hands
# its socket over instead, and gunicorn then ignores this).
bind = os.environ.get("PTOLIX_BIND", "127.0.0.1:8000")
workers = int(os.environ.get("PTOLIX_WORKERS", "0") or 0) or multiprocessing.cpu_count()
threads = int(os.environ.get("PTOLIX_THREADS", "8") or 8)
# A page waits for the database at most the connect timeout of its URL;
# a worker silent for longer than this is restarted.
timeout = 30
graceful_timeout = 10
# Workers are recycled now and then, at different moments, so that a slow
# leak never grows without bound and they never all restart at once.
max_requests = 20000
max_requests_jitter = 2000
accesslog = os.environ.get("PTOLIX_ACCESS_LOG") or None
errorlog = "-"
# The scheme nginx was reached by (X-Forwarded-Proto, for the URLs the site
# builds) is believed only from the local proxy.
forwarded_allow_ips = "127.0.0.1,::1"
