#!/usr/bin/env node
// Reads SGF files with @sabaki/sgf and replays every line of play on an
// @sabaki/go-board board that refuses overwriting, suicide and retaking a ko
// at once. Prints one JSON object a line for each file named on standard
// input (one path a line):
//   {file, problems: [...], size, root: {IDENT: first value},
//    nodes: the main line, [{move: [colour, value] | null, AB, AW, AE, C, LB}],
//    board: its end, rows from the top, "X" black, "O" white, "." empty,
//    variations: [{path: moves before it, moves, comments}], moves as "B[pd]"}
// The bytes are decoded as the editor decodes them: in the charset the CA
// property names, else in the one its detection guesses.
'use strict';

const fs = require('fs');
const sgf = require('@sabaki/sgf');
const Board = require('@sabaki/go-board');

const SIGN = {B: 1, W: -1};

// The moves of node summaries as "B[pd]", a pass "B[]".
function moves(nodes) {
  return nodes.filter(n => n.move).map(n => `${n.move[0]}[${n.move[1]}]`);
}

// Plays one node's stones on the board and fills its summary; returns the
// board after it.
function playNode(data, board, size, where, summary, problems) {
  for (const ident of ['B', 'W', 'C']) {
    if (data[ident] && data[ident].length !== 1) {
      problems.push(`${where}: ${ident} has ${data[ident].length} values`);
    }
  }
  if (data.B && data.W) problems.push(`${where}: both B and W`);
  for (const ident of ['AE', 'AB', 'AW']) {
    for (const value of data[ident] || []) {
      summary[ident].push(value);
      const vertex = sgf.parseVertex(value);
      if (!board.has(vertex)) {
        problems.push(`${where}: ${ident}[${value}] is off the board`);
        continue;
      }
      if (ident !== 'AE' && board.get(vertex) !== 0) {
        problems.push(`${where}: ${ident}[${value}] lands on a stone`);
      }
      board = board.set(vertex, ident === 'AE' ? 0 : ident === 'AB' ? 1 : -1);
    }
  }
  for (const colour of ['B', 'W']) {
    if (!data[colour]) continue;
    const value = data[colour][0];
    summary.move = [colour, value];
    // An empty value is a pass; so is "tt" on boards up to 19 lines in
    // older files.
    if (value === '' || (value === 'tt' && size <= 19)) continue;
    const vertex = sgf.parseVertex(value);
    if (!board.has(vertex)) {
      problems.push(`${where}: ${colour}[${value}] is off the board`);
      continue;
    }
    try {
      board = board.makeMove(SIGN[colour], vertex, {
        preventOverwrite: true, preventSuicide: true, preventKo: true});
    } catch (e) {
      problems.push(`${where}: ${colour}[${value}]: ${e.message}`);
      board = board.makeMove(SIGN[colour], vertex);
    }
  }
  if (data.C) summary.C = data.C[0];
  if (data.LB) summary.LB = data.LB.slice();
  return board;
}

function readOne(file) {
  const out = {file, problems: [], size: null, root: {}, nodes: [], board: [],
               variations: null};
  let trees;
  try {
    trees = sgf.parseBuffer(fs.readFileSync(file));
  } catch (e) {
    out.problems.push(`not read: ${e.message}`);
    return out;
  }
  if (trees.length !== 1) {
    out.problems.push(`${trees.length} game trees instead of one`);
    if (trees.length === 0) return out;
  }
  const root = trees[0];
  for (const [ident, values] of Object.entries(root.data)) {
    out.root[ident] = values[0];
  }
  const sz = root.data.SZ ? root.data.SZ[0] : '19';
  const size = /^\d+$/.test(sz) ? Number(sz) : NaN;
  if (!(size >= 1 && size <= 52)) {
    out.problems.push(`board size SZ[${sz}] not understood`);
    return out;
  }
  out.size = size;

  // Every line of play: the main line first, then each variation from its
  // first node down its first children, on the board of its parent.
  const lines = [{node: root, board: Board.fromDimensions(size), path: []}];
  while (lines.length > 0) {
    let {node, board, path} = lines.pop();
    const nodes = [];
    for (let index = 0; node != null; ++index) {
      const where = out.variations ?
          `variation after ${path.join('')}, node ${index}` : `node ${index}`;
      const summary = {move: null, AB: [], AW: [], AE: [], C: null, LB: []};
      board = playNode(node.data, board, size, where, summary, out.problems);
      nodes.push(summary);
      for (const child of node.children.slice(1)) {
        lines.push({node: child, board, path: path.concat(moves(nodes))});
      }
      node = node.children[0];
    }
    if (!out.variations) {
      out.nodes = nodes;
      out.board = board.signMap.map(
          row => row.map(s => (s > 0 ? 'X' : s < 0 ? 'O' : '.')).join(''));
      out.variations = [];
    } else {
      out.variations.push(
          {path, moves: moves(nodes), comments: nodes.map(n => n.C)});
    }
  }
  return out;
}

const files = fs.readFileSync(0, 'utf8').split('\n').filter(f => f !== '');
for (const file of files) {
  process.stdout.write(JSON.stringify(readOne(file)) + '\n');
}
