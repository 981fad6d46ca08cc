// Globals shared by the pages: whether the application object "Qt" is there
// (cleared by a page whose connect step fails), a full turn in radians and the
// drawing size until the page's resize handler takes the window's inner size.
var isQtAvailable = true;
var circ = 2 * Math.PI;
var width = 500;
var height = 500;
