// Drawing help shared by the page's scripts.
'use strict';

// A canvas's drawing buffer sized to the canvas on screen, in device pixels; its 2D context.
function fitCanvas(canvas) {
  const width = Math.max(1, Math.round(canvas.clientWidth * devicePixelRatio));
  const height = Math.round(canvas.clientHeight * devicePixelRatio);
  if (canvas.width !== width || canvas.height !== height) {
    canvas.width = width;
    canvas.height = height;
  }
  return canvas.getContext('2d');
}
