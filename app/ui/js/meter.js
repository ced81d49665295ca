// The live meter: the effect's level records land in a ring from the message
// handler; one animation-frame loop draws the ring. Nothing is drawn in a handler.

const CAPACITY = 2048; // a power of two above the history
const HISTORY_RECORDS = 1600; // 8 s at one record per 5 ms
const FULL_SCALE = 65535; // a level of 65535 is 1.0 of full scale
const FLOOR_DB = -60;
const GRID_DB = [-12, -24, -36, -48];
const REDUCED_MOTION_FRAME_MS = 500;

// Canvas geometry in CSS pixels: the level graph on top, one lane per status bit below.
const LEVELS_HEIGHT = 100;
const LANES_TOP = 110;
const LANE_HEIGHT = 6;
const LANE_STEP = 10;
const LANES = [
  { bit: 1, colour: '--lane-boost' },
  { bit: 2, colour: '--lane-duck' },
  { bit: 4, colour: '--lane-comp' },
  { bit: 8, colour: '--lane-proc' },
];

/** The newest records, as [input, output, status] arrive in "meter" messages. */
export class MeterRing {
  constructor() {
    this.input = new Uint16Array(CAPACITY);
    this.output = new Uint16Array(CAPACITY);
    this.status = new Uint8Array(CAPACITY);
    this.count = 0; // records received so far
  }

  push(records) {
    for (let r = Math.max(0, records.length - CAPACITY); r < records.length; r++) {
      const slot = this.count & (CAPACITY - 1);
      const record = records[r];
      this.input[slot] = record[0];
      this.output[slot] = record[1];
      this.status[slot] = record[2];
      this.count++;
    }
  }
}

/** Height fraction (0 at the floor, 1 at full scale) of a 16-bit level. */
export function levelFraction(level) {
  if (level <= 0) return 0;
  const db = 20 * Math.log10(Math.min(level, FULL_SCALE) / FULL_SCALE);
  return Math.max(0, (db - FLOOR_DB) / -FLOOR_DB);
}

/** Per column: the loudest input and output and the OR of the status bits. */
function columnsOf(ring, columns) {
  const input = new Float32Array(columns);
  const output = new Float32Array(columns);
  const status = new Uint8Array(columns);
  const first = ring.count - HISTORY_RECORDS;
  for (let k = Math.max(0, first); k < ring.count; k++) {
    const column = Math.floor(((k - first) * columns) / HISTORY_RECORDS);
    const slot = k & (CAPACITY - 1);
    input[column] = Math.max(input[column], ring.input[slot]);
    output[column] = Math.max(output[column], ring.output[slot]);
    status[column] |= ring.status[slot];
  }
  return { input, output, status };
}

function levelPath(context, levels, scale) {
  context.beginPath();
  for (let column = 0; column < levels.length; column++) {
    const y = (1 - levelFraction(levels[column])) * LEVELS_HEIGHT * scale;
    if (column === 0) context.moveTo(column, y);
    else context.lineTo(column, y);
  }
}

function draw(context, ring, colours, scale) {
  const { width, height } = context.canvas;
  context.clearRect(0, 0, width, height);
  context.fillStyle = colours['--meter-grid'];
  for (const db of GRID_DB) {
    context.fillRect(0, Math.round(((db / FLOOR_DB) * LEVELS_HEIGHT) * scale), width, 1);
  }
  const { input, output, status } = columnsOf(ring, width);
  if (ring.count > 0) drawLevels(context, input, output, colours, scale);
  drawLanes(context, status, colours, scale);
}

function drawLevels(context, input, output, colours, scale) {
  const { width } = context.canvas;
  levelPath(context, input, scale);
  context.lineTo(width - 1, LEVELS_HEIGHT * scale);
  context.lineTo(0, LEVELS_HEIGHT * scale);
  context.closePath();
  context.fillStyle = colours['--meter-in'];
  context.fill();

  levelPath(context, output, scale);
  context.strokeStyle = colours['--meter-out'];
  context.lineWidth = 1.5 * scale;
  context.lineJoin = 'round';
  context.stroke();
}

function drawLanes(context, status, colours, scale) {
  const { width } = context.canvas;
  LANES.forEach((lane, index) => {
    const y = Math.round((LANES_TOP + index * LANE_STEP) * scale);
    const laneHeight = Math.round(LANE_HEIGHT * scale);
    context.fillStyle = colours['--meter-grid'];
    context.fillRect(0, y, width, laneHeight);
    context.fillStyle = colours[lane.colour];
    for (let column = 0; column < width; column++) {
      if (!(status[column] & lane.bit)) continue;
      let end = column;
      while (end + 1 < width && status[end + 1] & lane.bit) end++;
      context.fillRect(column, y, end - column + 1, laneHeight);
      column = end;
    }
  });
}

function readColours() {
  const style = getComputedStyle(document.documentElement);
  const names = ['--meter-in', '--meter-out', '--meter-grid', ...LANES.map((lane) => lane.colour)];
  return Object.fromEntries(names.map((name) => [name, style.getPropertyValue(name).trim()]));
}

export function mountMeter(bridge, canvas, emptyNote) {
  const ring = new MeterRing();
  const context = canvas.getContext('2d');
  const colours = readColours();
  const reducedMotion = window.matchMedia('(prefers-reduced-motion: reduce)');
  let drawnCount = -1;
  let lastDrawMs = 0;

  bridge.on('meter', (records) => ring.push(records));

  function frame(now) {
    requestAnimationFrame(frame);
    const scale = window.devicePixelRatio || 1;
    const width = Math.round(canvas.clientWidth * scale);
    const height = Math.round(canvas.clientHeight * scale);
    const resized = width !== canvas.width || height !== canvas.height;
    if (!resized && ring.count === drawnCount) return;
    if (!resized && reducedMotion.matches && now - lastDrawMs < REDUCED_MOTION_FRAME_MS) return;
    if (resized) {
      canvas.width = width;
      canvas.height = height;
    }
    draw(context, ring, colours, scale);
    emptyNote.hidden = ring.count > 0;
    drawnCount = ring.count;
    lastDrawMs = now;
  }
  requestAnimationFrame(frame);
}
