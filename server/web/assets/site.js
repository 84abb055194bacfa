// The registration form's checks in the browser: the same rules and words as the service's own
// checks, shown before sending. The service checks everything again; the form works without this.
(function () {
  "use strict";

  var form = document.getElementById("reg-form");
  if (!form) return;

  var nick = document.getElementById("nick");
  var password = document.getElementById("password");
  var password2 = document.getElementById("password2");
  var counter = document.getElementById("nick-counter");
  var submit = document.getElementById("reg-submit");
  var data = form.dataset;
  var maxNick = parseInt(data.maxNick, 10);
  var minPassword = parseInt(data.minPassword, 10);

  // Characters as a person counts them (an emoji is one), like the service does.
  function length(text) {
    return Array.from(text).length;
  }

  function trimmed(text) {
    return text.replace(/^[\s\u3000]+|[\s\u3000]+$/g, "");
  }

  function show(input, message) {
    var field = input.closest(".field");
    var error = document.getElementById(input.id + "-error");
    error.textContent = message;
    field.classList.toggle("invalid", message !== "");
    if (message) input.setAttribute("aria-invalid", "true");
    else input.removeAttribute("aria-invalid");
  }

  function nickMessage() {
    var n = length(trimmed(nick.value));
    if (n === 0) return data.msgNickEmpty;
    if (n > maxNick) return data.msgNickLong;
    return "";
  }

  function passwordMessage() {
    if (password.value === "") return data.msgPasswordEmpty;
    if (length(password.value) < minPassword) return data.msgPasswordShort;
    return "";
  }

  function password2Message() {
    if (password2.value === "") return data.msgPassword2Empty;
    if (password2.value !== password.value) return data.msgMismatch;
    return "";
  }

  function updateCounter() {
    var n = length(trimmed(nick.value));
    counter.textContent = n + "/" + maxNick;
    counter.classList.toggle("over", n > maxNick);
  }

  nick.addEventListener("input", updateCounter);
  updateCounter();

  // A message already shown goes away as soon as the field is right again.
  nick.addEventListener("input", function () {
    if (document.getElementById("nick-error").textContent) show(nick, nickMessage());
  });
  password.addEventListener("input", function () {
    if (document.getElementById("password-error").textContent) show(password, passwordMessage());
  });
  password2.addEventListener("input", function () {
    if (document.getElementById("password2-error").textContent) show(password2, password2Message());
  });

  var sending = false;
  form.addEventListener("submit", function (event) {
    if (sending) {
      // A second click while the first is on its way would only repeat it.
      event.preventDefault();
      return;
    }
    var checks = [
      [nick, nickMessage()],
      [password, passwordMessage()],
      [password2, password2Message()],
    ];
    var first = null;
    checks.forEach(function (c) {
      show(c[0], c[1]);
      if (c[1] && !first) first = c[0];
    });
    if (first) {
      event.preventDefault();
      first.focus();
      return;
    }
    sending = true;
    submit.disabled = true;
    submit.textContent = data.msgSending;
  });

  // Coming back to the page from the browser's history shows the form ready to use again.
  window.addEventListener("pageshow", function (event) {
    if (event.persisted) {
      sending = false;
      submit.disabled = false;
      submit.textContent = "注册";
    }
  });
})();
