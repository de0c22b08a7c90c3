-- Monthly revenue per region, largest first.
SELECT r.name AS region,
       date_trunc('month', o.created_at) AS month,
       SUM(o.total) AS revenue,
       COUNT(*) AS orders
FROM orders o
JOIN customers c ON c.id = o.customer_id
JOIN regions r ON r.id = c.region_id
WHERE o.status = 'paid'
  AND o.created_at >= DATE '2024-01-01'
GROUP BY r.name, date_trunc('month', o.created_at)
ORDER BY revenue DESC;
