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

CREATE TABLE IF NOT EXISTS monthly_revenue (
    region VARCHAR(64) NOT NULL,
    month DATE NOT NULL,
    revenue NUMERIC(12, 2) NOT NULL DEFAULT 0,
    orders INTEGER NOT NULL DEFAULT 0,
    PRIMARY KEY (region, month)
);

INSERT INTO monthly_revenue (region, month, revenue, orders)
SELECT r.name, date_trunc('month', o.created_at), SUM(o.total), COUNT(*)
FROM orders o
JOIN customers c ON c.id = o.customer_id
JOIN regions r ON r.id = c.region_id
WHERE o.status = 'paid'
GROUP BY 1, 2
ON CONFLICT (region, month) DO UPDATE SET revenue = EXCLUDED.revenue, orders = EXCLUDED.orders;
