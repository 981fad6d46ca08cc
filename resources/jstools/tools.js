// Small helpers shared by the pages: logging through the application,
// script-error reporting, clamping, CSS selector escaping, text width.

window.onerror = function (msg, url, num) {
    log("Error: " + msg + "\nURL: " + url + "\nLine: " + num);
};

// Sends one line to the application's debug log, or to the browser console
// when the page runs without the application object.
function log(text) {
    if (isQtAvailable) {
        Qt.js_debug(text.toString());
    } else {
        console.log(text);
    }
}

function clamp(min, val, max) {
    return Math.max(min, Math.min(val, max));
}

// Escapes every character that has a meaning in a CSS selector, so that user
// chosen names (clusters, markers) can be used as ids and classes.
function cssSanitize(str) {
    return String(str).replace(/([!#$%&'()*+,\-./:;<=>?@\[\]^`{}|~])/g, "\\$1");
}

// Pixel width of the string drawn in the given font (default "12px arial").
String.prototype.width = function (font) {
    var f = font || "12px arial";
    var o = document.createElement("div");
    o.textContent = this;
    o.style.position = "absolute";
    o.style.float = "left";
    o.style.whiteSpace = "nowrap";
    o.style.visibility = "hidden";
    o.style.font = f;
    document.body.appendChild(o);
    var w = o.clientWidth;
    document.body.removeChild(o);
    return w;
};
