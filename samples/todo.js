// A tiny to-do list kept in the browser's local storage.
const STORAGE_KEY = 'todos';

function loadTodos() {
  const saved = localStorage.getItem(STORAGE_KEY);
  return saved ? JSON.parse(saved) : [];
}

function addTodo(text) {
  const todos = loadTodos();
  todos.push({ id: Date.now(), text, done: false });
  localStorage.setItem(STORAGE_KEY, JSON.stringify(todos));
  return todos;
}

document.querySelector('#add').addEventListener('click', () => {
  const input = document.querySelector('#text');
  if (input.value.trim() !== '') {
    addTodo(input.value.trim());
    input.value = '';
  }
});
