// The item editor: a formatting toolbar over an editable copy of the
// content field, limited to what the site keeps (paragraphs, two heading
// levels, bold, italic, links, lists, quotes and the item's pictures).
// Pasted text is rebuilt from that set, so office and web markup stays out.
// The server cleans everything again; this only keeps the editor honest.
(function () {
  "use strict";

  var BLOCKS = { P: "p", DIV: "p", H1: "h2", H2: "h2", H3: "h3", H4: "h3", H5: "h3", H6: "h3",
    BLOCKQUOTE: "blockquote", UL: "ul", OL: "ol", LI: "li" };
  var INLINE = { B: "strong", STRONG: "strong", I: "em", EM: "em" };
  var refreshers = []; // each editor's picture menu, refreshed after an upload
  var DROPPED = { SCRIPT: 1, STYLE: 1, TEMPLATE: 1, META: 1, LINK: 1, TITLE: 1, HEAD: 1,
    IFRAME: 1, OBJECT: 1, SVG: 1, XML: 1 };

  function safeHref(href) {
    href = (href || "").trim();
    return /^(https?:|mailto:)/i.test(href) || (href[0] === "/" && href[1] !== "/") ? href : "";
  }

  // Copies the kept subset of `from` into `to` (both DOM nodes).
  function keep(from, to, doc) {
    from.childNodes.forEach(function (node) {
      if (node.nodeType === 3) {
        to.appendChild(doc.createTextNode(node.nodeValue));
        return;
      }
      if (node.nodeType !== 1 || DROPPED[node.tagName.toUpperCase()]) return;
      var tag = node.tagName.toUpperCase();
      var name = BLOCKS[tag] || INLINE[tag] || (tag === "BR" ? "br" : "");
      var el = null;
      if (tag === "A" && safeHref(node.getAttribute("href"))) {
        el = doc.createElement("a");
        el.setAttribute("href", safeHref(node.getAttribute("href")));
      } else if (tag === "IMG") {
        var src = node.getAttribute("src") || "";
        if (/^\/media\//.test(src)) {
          el = doc.createElement("img");
          el.setAttribute("src", src);
          el.setAttribute("alt", node.getAttribute("alt") || "");
        }
        if (el) to.appendChild(el);
        return;
      } else if (name) {
        el = doc.createElement(name);
      }
      if (name === "br") { to.appendChild(el); return; }
      keep(node, el || to, doc);
      if (el) to.appendChild(el);
    });
  }

  function cleanHtml(html) {
    var parsed = new DOMParser().parseFromString(html, "text/html");
    var out = document.createElement("div");
    keep(parsed.body, out, document);
    return out.innerHTML;
  }

  function escapeText(text) {
    var div = document.createElement("div");
    div.textContent = text;
    return div.innerHTML;
  }

  function plainToHtml(text) {
    return text.split(/\r?\n/).filter(function (l) { return l.trim(); })
      .map(function (l) { return "<p>" + escapeText(l) + "</p>"; }).join("");
  }

  function button(label, title, action) {
    var b = document.createElement("button");
    b.type = "button";
    b.textContent = label;
    b.title = title;
    b.setAttribute("data-action", action);
    return b;
  }

  function setUp(area) {
    var texts = {};
    try { texts = JSON.parse(area.getAttribute("data-texts") || "{}"); } catch (e) { /* English */ }
    function t(text) { return texts[text] || text; }
    var pictures = [];
    try { pictures = JSON.parse(area.getAttribute("data-pictures") || "[]"); } catch (e) { /* none */ }
    var box = document.createElement("div");
    box.className = "editor";
    var bar = document.createElement("div");
    bar.className = "editor-bar";
    [["¶", "Paragraph", "p"], ["H2", "Heading", "h2"], ["H3", "Subheading", "h3"],
      ["B", "Bold", "bold"], ["I", "Italic", "italic"], ["• list", "Bulleted list", "ul"],
      ["1. list", "Numbered list", "ol"], ["❝ quote", "Quote", "blockquote"]
    ].forEach(function (b) { bar.appendChild(button(t(b[0]), t(b[1]), b[2])); });
    var link = document.createElement("input");
    link.type = "url";
    link.placeholder = "https://…";
    link.className = "editor-link";
    link.setAttribute("aria-label", t("Link address"));
    bar.appendChild(link);
    bar.appendChild(button(t("Link"), t("Make the selected text a link"), "link"));
    var pick = document.createElement("select");
    pick.className = "editor-picture";
    pick.setAttribute("aria-label", t("Picture"));
    function fillMenu(list) {
      pictures = list;
      pick.textContent = "";
      var none = document.createElement("option");
      none.value = "";
      none.textContent = pictures.length ? t("Picture…") : t("No pictures yet");
      pick.appendChild(none);
      pictures.forEach(function (p, i) {
        var o = document.createElement("option");
        o.value = String(i);
        o.textContent = p.title;
        pick.appendChild(o);
      });
    }
    fillMenu(pictures);
    refreshers.push(fillMenu);
    bar.appendChild(pick);
    bar.appendChild(button(t("Insert picture"), t("Insert the chosen picture"), "picture"));

    var edit = document.createElement("div");
    edit.className = "editor-area";
    edit.contentEditable = "true";
    edit.setAttribute("role", "textbox");
    edit.setAttribute("aria-multiline", "true");
    var label = area.closest("label");
    edit.setAttribute("aria-label", label ? label.firstChild.textContent.trim() : t("Text"));
    var start = area.value.trim();
    edit.innerHTML = /<[a-z!\/]/i.test(start) ? cleanHtml(start) : plainToHtml(start);
    box.appendChild(bar);
    box.appendChild(edit);
    area.parentNode.insertBefore(box, area.nextSibling);
    area.hidden = true;
    document.execCommand("defaultParagraphSeparator", false, "p");

    var saved = null;
    document.addEventListener("selectionchange", function () {
      var sel = window.getSelection();
      if (sel.rangeCount && edit.contains(sel.getRangeAt(0).commonAncestorContainer)) {
        saved = sel.getRangeAt(0).cloneRange();
      }
    });
    function restore() {
      edit.focus();
      if (saved) {
        var sel = window.getSelection();
        sel.removeAllRanges();
        sel.addRange(saved);
      }
    }

    bar.addEventListener("mousedown", function (e) {
      if (e.target.tagName === "BUTTON") e.preventDefault(); // keeps the selection
    });
    bar.addEventListener("click", function (e) {
      var action = e.target.getAttribute && e.target.getAttribute("data-action");
      if (!action) return;
      restore();
      if (action === "bold" || action === "italic") {
        document.execCommand(action);
      } else if (action === "ul") {
        document.execCommand("insertUnorderedList");
      } else if (action === "ol") {
        document.execCommand("insertOrderedList");
      } else if (action === "link") {
        var href = safeHref(link.value);
        if (href) document.execCommand("createLink", false, href);
        else link.focus();
      } else if (action === "picture") {
        var p = pictures[Number(pick.value)];
        if (pick.value !== "" && p) {
          document.execCommand("insertHTML", false,
            '<img src="' + encodeURI(p.src) + '" alt="' + escapeText(p.alt).replace(/"/g, "&quot;") + '">');
        }
      } else {
        document.execCommand("formatBlock", false, action);
      }
      sync();
    });

    edit.addEventListener("paste", function (e) {
      var data = e.clipboardData;
      if (!data) return;
      e.preventDefault();
      var html = data.getData("text/html");
      document.execCommand("insertHTML", false,
        html ? cleanHtml(html) : plainToHtml(data.getData("text/plain")));
      sync();
    });
    edit.addEventListener("drop", function (e) { e.preventDefault(); }); // files go to the upload box

    function sync() { area.value = cleanHtml(edit.innerHTML); }
    edit.addEventListener("input", sync);
    area.form.addEventListener("submit", sync);
  }

  // Files dropped on the upload box are sent at once, in the background, so
  // that unsaved text in the editor stays; the files list and the picture
  // menu are then taken from the item page the upload answers with.
  function upload(form, files) {
    var data = new FormData(form);
    data.delete("file");
    Array.prototype.forEach.call(files, function (f) { data.append("file", f); });
    form.classList.add("busy");
    fetch(form.action, { method: "POST", body: data, credentials: "same-origin" })
      .then(function (r) { return r.text(); })
      .then(function (html) {
        var doc = new DOMParser().parseFromString(html, "text/html");
        var fresh = doc.getElementById("files");
        var old = document.getElementById("files");
        if (fresh && old) {
          fresh = document.importNode(fresh, true);
          old.parentNode.replaceChild(fresh, old);
          fresh.querySelectorAll(".dropzone").forEach(setUpDrop);
        }
        var main = document.querySelector("main");
        document.querySelectorAll("main > p.msg").forEach(function (m) { m.remove(); });
        Array.prototype.slice.call(doc.querySelectorAll("main > p.msg")).reverse().forEach(function (m) {
          main.insertBefore(document.importNode(m, true), main.firstChild);
        });
        var area = doc.querySelector("textarea[data-editor]");
        if (area) {
          try {
            var list = JSON.parse(area.getAttribute("data-pictures") || "[]");
            refreshers.forEach(function (f) { f(list); });
          } catch (e) { /* the menu stays as it was */ }
        }
      })
      .finally(function () { form.classList.remove("busy"); });
  }

  function setUpDrop(zone) {
    var form = zone.closest("form");
    ["dragenter", "dragover"].forEach(function (t) {
      form.addEventListener(t, function (e) { e.preventDefault(); form.classList.add("over"); });
    });
    form.addEventListener("dragleave", function () { form.classList.remove("over"); });
    form.addEventListener("drop", function (e) {
      e.preventDefault();
      form.classList.remove("over");
      if (e.dataTransfer && e.dataTransfer.files.length) upload(form, e.dataTransfer.files);
    });
  }

  function init() {
    document.querySelectorAll("textarea[data-editor]").forEach(setUp);
    document.querySelectorAll(".dropzone").forEach(setUpDrop);
  }
  if (document.readyState === "loading") document.addEventListener("DOMContentLoaded", init);
  else init();
})();
