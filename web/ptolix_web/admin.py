"""Administration for holders of role 1: roles, users, websites, styles with
templates, pages with tags and their generated code, system parameters and
systems, link classes and links, and the code dictionaries.

Each register is described once (its list, its fields, and the calls that
add, change and remove a row); one view and one template serve them all."""

from __future__ import annotations

from dataclasses import dataclass, field as dc_field
from typing import Any, Callable

from flask import Blueprint, abort, redirect, render_template, request, session, url_for
from flask_babel import gettext as _
from flask_babel import lazy_gettext as _l

from . import choices, lib
from .admin_users import user_add, user_edit
from .context import obj, page_number, staff_site, staff_sys, user_id
from .security import check_csrf

bp = Blueprint("admin", __name__)

PAGE_SIZE = 20
MAX_TEXT = 100_000


def require_admin() -> None:
    """Role 1 is checked against the user's row on every request."""
    uid = user_id()
    if not uid:
        abort(403, description=_("Sign in first."))
    row = lib.first(obj("User").GetUser(uid))
    admin = row is not None and row.get("Role_ID") == 1
    if session.get("admin") != admin:  # written only when it changes: a write costs a statement
        session["admin"] = admin
    if not admin:
        abort(403, description=_("These screens are for administrators (role 1) only."))


@bp.before_request
def admin_only():
    if not user_id():
        return redirect(url_for("auth.signin", next=request.full_path.rstrip("?")))
    require_admin()
    if request.method == "POST":
        check_csrf()
    return None


@dataclass
class Field:
    name: str
    label: str
    source: str | None = None  # the row field an edit form starts from
    kind: str = "text"  # text, textarea, password, suggest (a number, with choices offered)
    required: bool = False
    choices: Callable[[], list[tuple[str, str]]] | None = None


F = dict[str, str]


@dataclass
class Register:
    slug: str
    title: str
    cls: str
    columns: list[tuple[str, str]]
    key: list[str]
    list_call: Callable[[Any, str, str], Any]  # (object, scope, page text) -> result
    add_fields: list[Field] = dc_field(default_factory=list)
    add_call: Callable[[Any, str, F], Any] | None = None
    edit_fields: list[Field] = dc_field(default_factory=list)
    edit_call: Callable[[Any, str, F, F], Any] | None = None  # (object, scope, key, form)
    delete_call: Callable[[Any, str, F], Any] | None = None
    paged: bool = False
    scope_label: str | None = None  # sub-registers: rows of one style, page or link class
    scope_of: str | None = None  # the parent register
    links: Callable[[dict, str], list[tuple[str, str]]] | None = None
    note: str = ""


def _sys() -> str:
    return staff_sys()


def _website_edit(o: Any, scope: str, key: F, f: F) -> None:
    o.ModifyWebSite(
        key["WebSite_ID"], f["name"], f["title"], f["description"], f["order"], f["type"]
    )
    o.SetWebSiteLogo(key["WebSite_ID"], f["logo"])
    if f["style"]:
        o.SetWebSiteStyle(key["WebSite_ID"], f["sys"] or _sys(), f["style"])
    else:
        o.SetWebSiteStyle(key["WebSite_ID"], "", "")


def _modify_system(o: Any, key: F, f: F) -> None:
    if not lib.is_id(key["Sys_ID"]):
        abort(400, description=_("There is no such system."))
    o.ModifySystem(int(key["Sys_ID"]), f["name"], f["description"])


def _dictionary(slug: str, title: str, prefix: str, lister: str, noun: str) -> Register:
    idf, namef, descf = f"{prefix}_ID", f"{prefix}_Name", f"{prefix}_Description"
    return Register(
        slug,
        title,
        "Encode",
        [(idf, _l("ID")), (namef, _l("Name")), (descf, _l("Description"))],
        [idf],
        lambda o, s, p: getattr(o, lister)(),
        [Field("name", _l("Name"), required=True), Field("description", _l("Description"))],
        lambda o, s, f: getattr(o, f"Append{noun}")(f["name"], f["description"]),
        [
            Field("name", _l("Name"), namef, required=True),
            Field("description", _l("Description"), descf),
        ],
        lambda o, s, k, f: getattr(o, f"Modify{noun}")(k[idf], f["name"], f["description"]),
        lambda o, s, k: getattr(o, f"Delete{noun}")(k[idf]),
    )


REGISTERS: dict[str, Register] = {
    r.slug: r
    for r in [
        Register(
            "roles",
            _l("Roles"),
            "Role",
            [
                ("Role_ID", _l("ID")),
                ("Role_Name", _l("Name")),
                ("Role_Description", _l("Description")),
                ("Role_Father", _l("Father")),
                ("WebSite_ID", _l("Website")),
                ("Role_Order", _l("Order code")),
            ],
            ["Role_ID"],
            lambda o, s, p: o.GetRoleList(staff_site(), page_int(p)),
            [
                Field("name", _l("Name"), required=True),
                Field("description", _l("Description")),
                Field("father", _l("Father role"), choices=choices.roles),
                Field("website", _l("Website (empty: every website)"), choices=choices.websites),
            ],
            lambda o, s, f: o.AppendRole(f["name"], f["description"], f["father"], f["website"]),
            [
                Field("name", _l("Name"), "Role_Name", required=True),
                Field("description", _l("Description"), "Role_Description"),
                Field("father", _l("Father role"), "Role_Father", choices=choices.roles),
                Field("order", _l("Order code"), "Role_Order"),
            ],
            lambda o, s, k, f: o.ModifyRole(
                k["Role_ID"], f["name"], f["description"], f["order"], f["father"], "1"
            ),
            lambda o, s, k: o.DeleteRole(k["Role_ID"], "1"),
            paged=True,
            note=_l(
                "Moving a role: change its father and give it an order code below the father's."
            ),
        ),
        Register(
            "users",
            _l("Users"),
            "User",
            [
                ("Usr_ID", _l("User")),
                ("Usr_Name", _l("Name")),
                ("Role_ID", _l("Role")),
                ("Usr_Email", _l("E-mail")),
                ("WebSite_ID", _l("Website")),
                ("Org_ID", _l("Org")),
            ],
            ["Usr_ID"],
            lambda o, s, p: o.GetUserList(page_int(p)),
            [
                Field("id", _l("User name"), required=True),
                Field("role", _l("Role"), required=True, choices=choices.roles),
                Field("name", _l("Full name"), required=True),
                Field("password", _l("Password"), kind="password", required=True),
                Field("email", _l("E-mail")),
                Field("website", _l("Website"), required=True, choices=choices.websites),
                Field("org", _l("Organisation"), kind="suggest", choices=choices.organisations),
            ],
            user_add,
            [
                Field("id", _l("User name"), "Usr_ID", required=True),
                Field("role", _l("Role"), "Role_ID", required=True, choices=choices.roles),
                Field("name", _l("Full name"), "Usr_Name", required=True),
                Field("password", _l("New password (empty: keep)"), kind="password"),
                Field("email", _l("E-mail"), "Usr_Email"),
                Field(
                    "website", _l("Website"), "WebSite_ID", required=True, choices=choices.websites
                ),
                Field(
                    "org", _l("Organisation"), "Org_ID", "suggest", choices=choices.organisations
                ),
                Field("add_role", _l("Also give role"), choices=choices.roles),
            ],
            user_edit,
            lambda o, s, k: o.DeleteUser(k["Usr_ID"]),
            paged=True,
            links=lambda r, s: [(_("Sessions"), url_for("admin.sessions", uid=r["Usr_ID"]))],
        ),
        Register(
            "websites",
            _l("Websites"),
            "WebSite",
            [
                ("WebSite_ID", _l("ID")),
                ("WebSite_Name", _l("Name")),
                ("WebSite_Title", _l("Title")),
                ("WebSiteType_ID", _l("Type")),
                ("Sys_ID", _l("System")),
                ("Style_ID", _l("Style")),
            ],
            ["WebSite_ID"],
            lambda o, s, p: o.GetWebSiteList(page_int(p)),
            [
                Field("name", _l("Name"), required=True),
                Field("title", _l("Title")),
                Field("description", _l("Description")),
                Field("type", _l("Type"), choices=choices.site_types),
            ],
            lambda o, s, f: o.AppendWebSite(f["name"], f["title"], f["description"], f["type"]),
            [
                Field("name", _l("Name"), "WebSite_Name", required=True),
                Field("title", _l("Title"), "WebSite_Title"),
                Field("description", _l("Description"), "WebSite_Description"),
                Field("order", _l("Order code"), "WebSite_Order"),
                Field("type", _l("Type"), "WebSiteType_ID", choices=choices.site_types),
                Field("logo", _l("Logo"), "WebSite_Logo"),
                Field("sys", _l("System ID"), "Sys_ID"),
                Field("style", _l("Style ID"), "Style_ID"),
            ],
            _website_edit,
            lambda o, s, k: o.DeleteWebSite(k["WebSite_ID"]),
            paged=True,
            links=lambda r, s: [
                (_("Public site"), url_for("public.site_home", site_id=r["WebSite_ID"]))
            ],
        ),
        Register(
            "styles",
            _l("Styles"),
            "Style",
            [
                ("Style_ID", _l("ID")),
                ("Style_Name", _l("Name")),
                ("Style_Description", _l("Description")),
            ],
            ["Style_ID"],
            lambda o, s, p: o.GetStyleList(_sys(), p),
            [Field("name", _l("Name"), required=True), Field("description", _l("Description"))],
            lambda o, s, f: o.AppendStyle(_sys(), f["name"], f["description"]),
            [
                Field("name", _l("Name"), "Style_Name", required=True),
                Field("description", _l("Description"), "Style_Description"),
            ],
            lambda o, s, k, f: o.ModifyStyle(_sys(), k["Style_ID"], f["name"], f["description"]),
            lambda o, s, k: o.DeleteStyle(_sys(), k["Style_ID"]),
            paged=True,
            links=lambda r, s: [
                (_("Templates"), url_for("admin.register", slug="templates", scope=r["Style_ID"]))
            ],
        ),
        Register(
            "templates",
            _l("Templates"),
            "Style",
            [
                ("Page_File", _l("Page")),
                ("Tmpl_File", _l("Template file")),
                ("Tmpl_Description", _l("Description")),
                ("Page_Description", _l("Page description")),
            ],
            ["Page_File"],
            lambda o, s, p: o.GetTempletList(_sys(), s, p),
            [
                Field("page", _l("Page"), required=True),
                Field("file", _l("Template file"), required=True),
                Field("description", _l("Description")),
            ],
            lambda o, s, f: o.AppendTemplet(_sys(), s, f["page"], f["file"], f["description"]),
            [
                Field("file", _l("Template file"), "Tmpl_File", required=True),
                Field("description", _l("Description"), "Tmpl_Description"),
            ],
            lambda o, s, k, f: o.ModifyTemplet(
                _sys(), s, k["Page_File"], f["file"], f["description"]
            ),
            lambda o, s, k: o.DeleteTemplet(_sys(), s, k["Page_File"]),
            paged=True,
            scope_label=_l("Style"),
            scope_of="styles",
            links=lambda r, s: [
                (_("Page code"), url_for("admin.page_code", page=r["Page_File"], style=s))
            ],
        ),
        Register(
            "pages",
            _l("Pages"),
            "Page",
            [("Page_File", _l("Page")), ("Page_Description", _l("Description"))],
            ["Page_File"],
            lambda o, s, p: o.GetPageList(_sys(), p),
            [
                Field("page", _l("Page file"), required=True),
                Field("description", _l("Description")),
            ],
            lambda o, s, f: o.AppendPage(_sys(), f["page"], f["description"]),
            [
                Field("page", _l("Page file"), "Page_File", required=True),
                Field("description", _l("Description"), "Page_Description"),
            ],
            lambda o, s, k, f: o.ModifyPage(_sys(), k["Page_File"], f["page"], f["description"]),
            lambda o, s, k: o.DeletePage(_sys(), k["Page_File"]),
            paged=True,
            links=lambda r, s: [
                (_("Tags"), url_for("admin.register", slug="tags", scope=r["Page_File"])),
                (_("Page code"), url_for("admin.page_code", page=r["Page_File"])),
            ],
        ),
        Register(
            "tags",
            _l("Tags"),
            "Page",
            [
                ("Tag_Code", _l("Code")),
                ("Tag_Program", _l("Program")),
                ("Tag_Description", _l("Description")),
            ],
            ["Tag_Code"],
            lambda o, s, p: o.GetPrivateTagList(_sys(), s, p),
            [
                Field("code", _l("Code"), required=True),
                Field("program", _l("Program"), kind="textarea"),
                Field("description", _l("Description")),
            ],
            lambda o, s, f: o.AppendTag(_sys(), s, f["code"], f["program"], f["description"]),
            [
                Field("code", _l("Code"), "Tag_Code", required=True),
                Field("program", _l("Program"), "Tag_Program", "textarea"),
                Field("description", _l("Description"), "Tag_Description"),
            ],
            lambda o, s, k, f: o.ModifyTag(
                _sys(), s, k["Tag_Code"], f["code"], f["program"], f["description"]
            ),
            lambda o, s, k: o.DeleteTag(_sys(), s, k["Tag_Code"]),
            paged=True,
            scope_label=_l("Page"),
            scope_of="pages",
        ),
        Register(
            "parameters",
            _l("System parameters"),
            "System",
            [
                ("Para_Name", _l("Name")),
                ("Para_Value", _l("Value")),
                ("Para_Description", _l("Description")),
            ],
            ["Para_Name"],
            lambda o, s, p: o.GetParameterList(page_int(p)),
            [
                Field("name", _l("Name"), required=True),
                Field("value", _l("Value")),
                Field("description", _l("Description")),
            ],
            lambda o, s, f: o.AppendParameter(f["name"], f["value"], f["description"]),
            [
                Field("name", _l("Name"), "Para_Name", required=True),
                Field("value", _l("Value"), "Para_Value"),
                Field("description", _l("Description"), "Para_Description"),
            ],
            lambda o, s, k, f: o.ModifyParameter(
                k["Para_Name"], f["name"], f["value"], f["description"]
            ),
            lambda o, s, k: o.DeleteParameter(k["Para_Name"]),
            paged=True,
        ),
        Register(
            "systems",
            _l("Systems"),
            "System",
            [
                ("Sys_ID", _l("ID")),
                ("Sys_Name", _l("Name")),
                ("Sys_Description", _l("Description")),
            ],
            ["Sys_ID"],
            lambda o, s, p: o.GetSystemList(page_int(p)),
            [Field("name", _l("Name"), required=True), Field("description", _l("Description"))],
            lambda o, s, f: o.AppendSystem(f["name"], f["description"]),
            [
                Field("name", _l("Name"), "Sys_Name", required=True),
                Field("description", _l("Description"), "Sys_Description"),
            ],
            lambda o, s, k, f: _modify_system(o, k, f),
            lambda o, s, k: o.DeleteSystem(k["Sys_ID"]),
            paged=True,
        ),
        Register(
            "linkclasses",
            _l("Link classes"),
            "Link",
            [
                ("LinkClass_ID", _l("ID")),
                ("LinkClass_ChineseName", _l("Chinese name")),
                ("LinkClass_EnglishName", _l("English name")),
            ],
            ["LinkClass_ID"],
            lambda o, s, p: o.GetLinkClassList(),
            [
                Field("name_ch", _l("Chinese name"), required=True),
                Field("name_en", _l("English name")),
            ],
            lambda o, s, f: o.AppendLinkClass(f["name_ch"], f["name_en"]),
            [
                Field("name_ch", _l("Chinese name"), "LinkClass_ChineseName", required=True),
                Field("name_en", _l("English name"), "LinkClass_EnglishName"),
            ],
            lambda o, s, k, f: o.ModifyLinkClass(k["LinkClass_ID"], f["name_ch"], f["name_en"]),
            lambda o, s, k: o.DeleteLinkClass(k["LinkClass_ID"]),
            links=lambda r, s: [
                (_("Links"), url_for("admin.register", slug="links", scope=r["LinkClass_ID"]))
            ],
        ),
        Register(
            "links",
            _l("Links"),
            "Link",
            [
                ("Link_ID", _l("No.")),
                ("Link_Title", _l("Title")),
                ("Link_Url", _l("Address")),
                ("Link_Description", _l("Description")),
                ("Link_EndDate", _l("Ends")),
            ],
            ["Link_ID"],
            lambda o, s, p: o.GetClassLinkList(s, p),
            [
                Field("title", _l("Title"), required=True),
                Field("url", _l("Address")),
                Field("description", _l("Description")),
                Field("image", _l("Image")),
                Field("width", _l("Width")),
                Field("height", _l("Height")),
                Field("end", _l("End date (YYYY-MM-DD)")),
            ],
            lambda o, s, f: o.AppendLink(
                s,
                f["title"],
                f["description"],
                f["url"],
                f["image"],
                f["width"],
                f["height"],
                f["end"],
            ),
            [
                Field("title", _l("Title"), "Link_Title", required=True),
                Field("url", _l("Address"), "Link_Url"),
                Field("description", _l("Description"), "Link_Description"),
                Field("image", _l("Image"), "Link_Image"),
                Field("width", _l("Width"), "Link_ImageWidth"),
                Field("height", _l("Height"), "Link_ImageHeight"),
                Field("end", _l("End date (YYYY-MM-DD)"), "Link_EndDate"),
            ],
            lambda o, s, k, f: o.ModifyLink(
                s,
                k["Link_ID"],
                f["title"],
                f["description"],
                f["url"],
                f["image"],
                f["width"],
                f["height"],
                f["end"],
            ),
            lambda o, s, k: o.DeleteLink(s, k["Link_ID"]),
            paged=True,
            scope_label=_l("Link class"),
            scope_of="linkclasses",
        ),
        _dictionary(
            "states", _l("Information states"), "InfState", "GetInfStateList", "InfoState"
        ),
        _dictionary("types", _l("Information types"), "InfType", "GetInfTypeList", "InfoType"),
        _dictionary("access", _l("Access types"), "AccessType", "GetAccessTypeList", "AccessType"),
        Register(
            "sitetypes",
            _l("Website types"),
            "Encode",
            [("WebSiteType_ID", _l("ID")), ("WebSiteType_Name", _l("Name"))],
            ["WebSiteType_ID"],
            lambda o, s, p: o.GetWebSiteTypeList(),
            [Field("id", _l("ID"), required=True), Field("name", _l("Name"), required=True)],
            lambda o, s, f: o.AppendWebSiteType(f["id"], f["name"]),
            [
                Field("id", _l("ID"), "WebSiteType_ID", required=True),
                Field("name", _l("Name"), "WebSiteType_Name"),
            ],
            lambda o, s, k, f: o.ModifyWebSiteType(k["WebSiteType_ID"], f["id"], f["name"]),
            lambda o, s, k: o.DeleteWebSiteType(k["WebSiteType_ID"]),
        ),
    ]
}

GROUPS = [
    (_l("Organisation"), ["roles", "users"]),
    (_l("Sites"), ["websites", "styles", "pages"]),
    (_l("System"), ["parameters", "systems"]),
    (_l("Links"), ["linkclasses"]),
    (_l("Code dictionaries"), ["states", "types", "access", "sitetypes"]),
]


def page_int(text: str) -> int:
    """Page text for the methods that take the page as a number."""
    try:
        return max(0, min(int(round(float(text or "0"))), 2**31 - 1))
    except (ValueError, OverflowError):
        return 0


def _register(slug: str) -> tuple[Register, str]:
    reg = REGISTERS.get(slug)
    if reg is None:
        abort(404, description=_("There is no such register."))
    scope = (request.values.get("scope") or "").strip()
    if reg.scope_label:
        if not scope or len(scope) > 200:
            abort(
                404, description=_("Choose a %(what)s first.", what=str(reg.scope_label).lower())
            )
        if reg.slug in ("templates", "links") and not lib.is_id(scope):
            abort(
                404, description=_("There is no such %(what)s.", what=str(reg.scope_label).lower())
            )
    return reg, scope


def _form(fields: list[Field]) -> F:
    out = {}
    for f in fields:
        value = request.form.get(f.name, "")
        value = value if f.kind in ("textarea", "password") else value.strip()
        if len(value) > MAX_TEXT:
            abort(400, description=_("'%(field)s' is too long.", field=f.label))
        if "\0" in value:
            abort(
                400,
                description=_(
                    "'%(field)s' holds a NUL character, which cannot be stored.", field=f.label
                ),
            )
        if f.required and not value.strip():
            abort(400, description=_("'%(field)s' must not be empty.", field=f.label))
        out[f.name] = value
    choices.check(fields, out)
    return out


def _key(reg: Register) -> F:
    key = {k: request.values.get("k_" + k, "") for k in reg.key}
    if not all(key.values()) or any(len(v) > 200 for v in key.values()):
        abort(400, description=_("Choose a row first."))
    return key


@bp.route("/")
def index():
    return render_template("admin/index.html", groups=GROUPS, registers=REGISTERS)


@bp.route("/<slug>")
def register(slug: str):
    reg, scope = _register(slug)
    o = obj(reg.cls, PAGE_SIZE if reg.paged else None)
    page_text = request.args.get("page", "")
    result = reg.list_call(o, scope, page_text)
    pages = int(getattr(o, "PageCount", 0) or 0) if reg.paged else 0
    data = lib.rows(result)
    if reg.edit_call:
        for r in data:
            keys = {"k_" + k: lib.as_text(r.get(k)) for k in reg.key}
            r["edit_url__"] = url_for("admin.edit", slug=slug, scope=scope or None, **keys)
    return render_template(
        "admin/register.html",
        reg=reg,
        registers=REGISTERS,
        scope=scope,
        rows=data,
        errors=lib.messages(o),
        page_count=pages,
        current=page_number(page_text, pages),
        record_count=int(getattr(o, "RecordCount", 0) or 0) if reg.paged else len(data),
    )


@bp.route("/page-code")
def page_code():
    """The page code generated from a page's template in a style, shown as text."""
    page = (request.args.get("page") or "").strip()[:200]
    style = (request.args.get("style") or "").strip()
    styles = lib.rows(obj("Style").GetStyleList(_sys()))
    if not style and styles:
        style = str(styles[0]["Style_ID"])
    code, source, errors = "", "", []
    if page and lib.is_id(style):
        p = obj("Page")
        source = p.CreateAspCode(_sys(), style, page)
        code = p.CreateExecuteCode(_sys(), style, page)
        errors = lib.messages(p)
    return render_template(
        "admin/page_code.html",
        page=page,
        style=style,
        styles=styles,
        code=code,
        source=source,
        errors=errors,
        pages=lib.rows(obj("Page").GetPageList(_sys())),
    )


from . import admin_actions, admin_records  # noqa: E402,F401 - more screens
