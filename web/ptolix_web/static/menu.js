// The header's menu on narrow screens: the button shows and hides the
// navigation and the account links. Without this script they stay open.
(function () {
  var button = document.getElementById("menu-button");
  if (!button) return;
  var header = button.closest("header");
  header.classList.add("collapsible");
  button.hidden = false;
  button.addEventListener("click", function () {
    var open = header.classList.toggle("open");
    button.setAttribute("aria-expanded", open ? "true" : "false");
  });
  document.addEventListener("keydown", function (e) {
    if (e.key === "Escape" && header.classList.contains("open")) {
      header.classList.remove("open");
      button.setAttribute("aria-expanded", "false");
      button.focus();
    }
  });
})();
