// Menus and lists that open inside the page, so that they stay whole and
// readable in a small dock: context menus are moved inside the window once
// shown, and a select element gets a list drawn by the page instead of the
// engine's popup (a window of its own, in the select's text colour, which in
// the drawer is pale, and beyond the edge of a small dock).

var _inPageMargin = 4;

// Moves a fixed or absolutely placed `element` inside the window; taller or
// wider than the window, it is cut to it (the context menu's style lets it
// scroll then).
function keepInsidePage(element) {
    var m = _inPageMargin;
    element.style.maxHeight = Math.max(0, window.innerHeight - 2 * m) + "px";
    element.style.maxWidth = Math.max(0, window.innerWidth - 2 * m) + "px";
    var box = element.getBoundingClientRect();
    element.style.right = "";
    element.style.bottom = "";
    element.style.left = clamp(m, box.left, window.innerWidth - m - box.width) + "px";
    element.style.top = clamp(m, box.top, window.innerHeight - m - box.height) + "px";
}

// The handler that opens the context menu of `items` (the library's items:
// a list, or a function of the clicked datum). The library opens it at the
// mouse, towards the side with more room, and a menu taller than that side
// ran off a small page: it is moved inside once shown.
function pageMenu(items) {
    var open = d3.contextMenu(items);
    return function (data, index) {
        open.call(this, data, index);
        var menu = document.querySelector(".d3-context-menu");
        if (menu) keepInsidePage(menu);
    };
}

// --- lists of select elements ---------------------------------------------

// The select element stays the record of the choice: choosing from its list
// sets it and sends its change event, so a page's change handler runs as for
// the engine's popup. One list is open at a time: { select, element,
// options (the select's option per item), active (marked item) }.
var _pageList = null;

// Whether the list of `select` is open; without an argument, whether any is.
function isPageListOpen(select) {
    return _pageList !== null && (select === undefined || _pageList.select === select);
}

function closePageList() {
    if (_pageList === null) return;
    var element = _pageList.element;
    _pageList = null;
    if (element.parentNode) element.parentNode.removeChild(element);
}

function _pageListItems() {
    return _pageList ? _pageList.element.querySelectorAll(".pageListItem") : [];
}

function _markPageListItem(k) {
    var items = _pageListItems();
    if (items.length === 0) return;
    var list = _pageList.element;
    _pageList.active = clamp(0, k, items.length - 1);
    for (var i = 0; i < items.length; ++i) items[i].classList.toggle("active", i === _pageList.active);
    var item = items[_pageList.active];
    if (item.offsetTop < list.scrollTop) list.scrollTop = item.offsetTop;
    else if (item.offsetTop + item.offsetHeight > list.scrollTop + list.clientHeight)
        list.scrollTop = item.offsetTop + item.offsetHeight - list.clientHeight;
}

function _chooseFromPageList(k) {
    if (_pageList === null || k < 0 || k >= _pageList.options.length) return;
    var select = _pageList.select;
    var option = _pageList.options[k];
    closePageList();
    if (select.options[option.index] !== option || select.selectedIndex === option.index) return;
    select.selectedIndex = option.index;
    var event = document.createEvent("Event");
    event.initEvent("change", true, false);
    select.dispatchEvent(event);
}

// Opens the list of `select`'s enabled options inside the page, below the
// select or, where there is more room, above it, scrolling when it is
// taller than that room; the chosen option is marked.
function openPageList(select) {
    closePageList();
    var list = document.createElement("div");
    list.className = "pageList";
    if (select.id) list.id = select.id + "List";
    var options = [];
    var chosen = -1;
    [].forEach.call(select.options, function (option) {
        if (option.disabled) return;
        var item = document.createElement("div");
        item.className = "pageListItem";
        item.textContent = option.text;
        if (option.index === select.selectedIndex) chosen = options.length;
        options.push(option);
        list.appendChild(item);
    });
    if (options.length === 0) return;
    [].forEach.call(list.childNodes, function (item, k) {
        item.addEventListener("mousemove", function () {
            if (_pageList && k !== _pageList.active) _markPageListItem(k);
        });
        item.addEventListener("mouseup", function () { _chooseFromPageList(k); });
    });
    // Presses inside the list neither close it nor take the focus.
    list.addEventListener("mousedown", function (event) { event.preventDefault(); });
    document.body.appendChild(list);
    _pageList = { select: select, element: list, options: options, active: -1 };

    var m = _inPageMargin;
    var box = select.getBoundingClientRect();
    var below = window.innerHeight - m - box.bottom;
    var above = box.top - m;
    list.style.minWidth = Math.min(box.width, window.innerWidth - 2 * m) + "px";
    list.style.maxWidth = Math.max(0, window.innerWidth - 2 * m) + "px";
    list.style.maxHeight = Math.max(0, Math.max(below, above)) + "px";
    var height = list.getBoundingClientRect().height;
    var top = height <= below || below >= above ? box.bottom : box.top - height;
    list.style.top = top + "px";
    list.style.left = clamp(m, box.left, window.innerWidth - m - list.getBoundingClientRect().width) + "px";
    _markPageListItem(Math.max(0, chosen));
}

// Gives `select` the page's list in place of the engine's popup: a left
// press opens or closes it; Space, Enter, F4 and Alt+Down open it, as they
// open the engine's. A list whose select changes its options closes, so
// that it never offers names the select no longer holds.
function attachPageList(select) {
    select.addEventListener("mousedown", function (event) {
        event.preventDefault();
        if (event.button !== 0) return;
        if (isPageListOpen(select)) closePageList(); else openPageList(select);
    });
    select.addEventListener("keydown", function (event) {
        var code = event.keyCode;
        if (isPageListOpen()) return;
        if (code === 32 || code === 13 || code === 115 || (code === 40 && event.altKey)) {
            event.preventDefault();
            openPageList(select);
        }
    });
    new MutationObserver(function () {
        if (isPageListOpen(select)) closePageList();
    }).observe(select, { childList: true, subtree: true });
}

(function () {
    // While a list is open it has the keys: up and down move, Enter and Space
    // choose, Escape and Tab close. The page's own key handlers do not see
    // them.
    window.addEventListener("keydown", function (event) {
        if (!isPageListOpen()) return;
        var code = event.keyCode;
        if (code === 38 || code === 40) _markPageListItem(_pageList.active + (code === 40 ? 1 : -1));
        else if (code === 13 || code === 32) _chooseFromPageList(_pageList.active);
        else if (code === 27) closePageList();
        else if (code === 9) return closePageList();
        else return;
        event.preventDefault();
        event.stopPropagation();
    }, true);
    // A press elsewhere closes it (a press on its select toggles it there).
    document.addEventListener("mousedown", function (event) {
        if (!isPageListOpen()) return;
        if (_pageList.element.contains(event.target) || event.target === _pageList.select) return;
        closePageList();
    }, true);
    // The list stands where its select stood when it opened.
    window.addEventListener("resize", closePageList);
    document.addEventListener("drawerchange", closePageList);
})();
